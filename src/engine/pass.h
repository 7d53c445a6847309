// One pass of a conversion: the conversion state over a source and a sink,
// started for the job's settings and closed at its end.
#pragma once

#include "conversion/conversion.h"
#include "conversion/flow.h"
#include "conversion/session.h"
#include "io/byte_streams.h"
#include "tables/pass_tables.h"

namespace velkan {

// The job's settings a pass takes: each only when it is 0 or 1; any other
// value keeps what the session holds from the pass before.
struct PassSettings {
  int direction = 0;  // 0 horizontal, 1 vertical composition
  int unit = 0;       // 0 pt, 1 Q
  int warnings = 0;   // 0 warnings written, 1 not
};

class Pass {
 public:
  // Starts a pass of `session` over the code words of `source` into `sink`,
  // with the tables `tables` (as LoadPassTables leaves them: the pass reads
  // them and changes their font tables). The state is initialised for
  // `settings` (InitJob). The definition file and the format store of the
  // conversion are not open yet: the caller opens what the pass is to use
  // before Run. The block the code words are read into comes from `words`
  // when given, and goes back there with the pass.
  Pass(Session& session, const PassSettings& settings, PassTables& tables, ByteSource& source, ByteSink& sink,
       SpareBlock* words = nullptr);
  // Closes the pass as Close does, when it was not closed.
  ~Pass();
  Pass(const Pass&) = delete;
  Pass& operator=(const Pass&) = delete;

  // The state the pass works on: what a handler works on.
  Conversion& conversion() { return c_; }

  // Runs the main loop to the end of the job (Flow::kEndJob) or to a stage
  // that failed (Flow::kFail).
  Flow Run();

  // How the pass ended its use of the store and the output.
  struct Closing {
    bool storeClosed = true;  // the store's flags were written back and its files closed
    bool delivered = true;    // the sink took every byte (the last ones with its flush)
  };
  // Closes the format store (writing its defined flags back) and flushes the
  // sink. Done once; later calls give the first closing again.
  Closing Close();

 private:
  ByteSink& sink_;
  Conversion c_;
  bool closed_ = false;
  Closing closing_;
};

}  // namespace velkan
