// WScript.StdIn, StdOut and StdErr as the TextStream objects WSH gave a console script:
//
//   WScript.StdOut.Write(text)  WriteLine([text])  WriteBlankLines(n)
//   WScript.StdIn.ReadLine()    ReadAll()          AtEndOfStream
//
// Text goes out and comes in in the console's charset (console_text.h); a line ends with "\n"
// (a "\r" before it is dropped on reading). Reading past the end raises JScript's 62, reading an
// output stream or writing the input one 54 (Bad file mode), as a TextStream did.
#pragma once

#include <duktape.h>

namespace script_host {

/// Puts the three streams, StdIn, StdOut and StdErr, on the object at the top of the stack.
void PutTextStreams(duk_context* ctx);

}  // namespace script_host
