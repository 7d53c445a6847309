// The mark of a message of the program's own that is named, not shown,
// where it stands: the identifier of a Note (io/note.h), a phrase chosen
// from several. xgettext finds it (scripts/update-pot.sh); the front ends
// translate the message when they show it (frontend/messages.h).
#pragma once

#define N_(text) text
