// The stored text of a compiled object, made safe to hand to the client
// that loads the scripts.
//
// The client reads a script line by line and acts on some lines itself
// before the server sees them: a line that is "go" (or "go" and a count)
// ends a batch, "reset" drops it, "quit" and "exit" stop the client, "vi"
// starts an editor, "!!" runs an operating-system command and ":r" reads a
// file. An object's own SQL cannot hold such a line outside a comment or a
// string (it would have been cut there when the object was made), so a text
// that does was damaged or planted. Such a line is written after an empty
// comment, "/**/", which the server passes over and which keeps the word
// off the start of the line; everything else of the text is written as it
// stands. A NUL byte, which would end the text where the script writer
// stops, becomes a blank.
#pragma once

#include <string>

// `text` with every line the client would act on defused; *changed (when
// not null) gets the number of lines changed.
std::string ClientSafeText(const std::string &text, int *changed);
