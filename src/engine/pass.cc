#include "engine/pass.h"

#include "conversion/format_store.h"
#include "engine/main_loop.h"

namespace velkan {

Pass::Pass(Session& session, const PassSettings& settings, PassTables& tables, ByteSource& source, ByteSink& sink,
           SpareBlock* words)
    : sink_(sink), c_(session, tables, source, sink, words) {
  InitJob(c_, settings.direction, settings.unit, settings.warnings);
}

Pass::~Pass() { Close(); }

Flow Pass::Run() { return RunMainLoop(c_); }

Pass::Closing Pass::Close() {
  if (closed_) return closing_;
  closed_ = true;
  closing_.storeClosed = CloseFormatStore(c_.store) == 0;
  closing_.delivered = sink_.Flush() && !c_.out.writeFailed();
  return closing_;
}

}  // namespace velkan
