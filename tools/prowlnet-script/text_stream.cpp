#include "prowlnet-script/text_stream.h"

#include <cstdio>
#include <string>

#include "prowlnet-script/console_text.h"
#include "prowlnet-script/host_object.h"
#include "prowlnet-script/jscript_errors.h"
#include "prowlnet-script/script_values.h"

namespace script_host {
namespace {

enum class Stream { kIn, kOut, kErr };

const char* NameOf(Stream stream) {
  switch (stream) {
    case Stream::kIn: return "WScript.StdIn";
    case Stream::kOut: return "WScript.StdOut";
    case Stream::kErr: return "WScript.StdErr";
  }
  return "";
}

std::FILE* FileOf(Stream stream) { return stream == Stream::kErr ? stderr : stdout; }

/// Raises 54 for a call that the stream's direction does not allow.
duk_ret_t ThrowBadFileMode(duk_context* ctx, Stream stream, const char* method) {
  PushJScriptError(ctx, kBadFileMode, std::string(NameOf(stream)) + "." + method);
  return duk_throw(ctx);
}

duk_ret_t ThrowPastEnd(duk_context* ctx, const char* method) {
  PushJScriptError(ctx, kInputPastEnd, std::string("WScript.StdIn.") + method);
  return duk_throw(ctx);
}

bool AtEnd() {
  const int next = std::getc(stdin);
  if (next == EOF) return true;
  std::ungetc(next, stdin);
  return false;
}

/// The next line's bytes without its end; false at the end of input.
bool ReadLineBytes(std::string* line) {
  if (AtEnd()) return false;
  for (int c = std::getc(stdin); c != EOF && c != '\n'; c = std::getc(stdin)) *line += static_cast<char>(c);
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

bool PushLine(duk_context* ctx) {
  std::string line;
  if (!ReadLineBytes(&line)) return false;
  PushText(ctx, FromConsole(line));
  return true;
}

bool PushRest(duk_context* ctx) {
  if (AtEnd()) return false;
  std::string rest;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0;) rest.append(buffer, got);
  PushText(ctx, FromConsole(rest));
  return true;
}

template <Stream stream>
duk_ret_t Write(duk_context* ctx) {
  if (stream == Stream::kIn) return ThrowBadFileMode(ctx, stream, "Write");
  duk_to_string(ctx, 0);
  WriteToConsole(FileOf(stream), Utf8At(ctx, 0));
  return 0;
}

template <Stream stream>
duk_ret_t WriteLine(duk_context* ctx) {
  if (stream == Stream::kIn) return ThrowBadFileMode(ctx, stream, "WriteLine");
  if (duk_is_undefined(ctx, 0)) duk_push_string(ctx, "");
  duk_to_string(ctx, 0);
  WriteToConsole(FileOf(stream), Utf8At(ctx, 0) + "\n");
  return 0;
}

template <Stream stream>
duk_ret_t WriteBlankLines(duk_context* ctx) {
  if (stream == Stream::kIn) return ThrowBadFileMode(ctx, stream, "WriteBlankLines");
  const duk_int_t count = duk_to_int(ctx, 0);
  if (count > 0) WriteToConsole(FileOf(stream), std::string(static_cast<size_t>(count), '\n'));
  return 0;
}

template <Stream stream>
duk_ret_t ReadLine(duk_context* ctx) {
  if (stream != Stream::kIn) return ThrowBadFileMode(ctx, stream, "ReadLine");
  if (!PushLine(ctx)) return ThrowPastEnd(ctx, "ReadLine");
  return 1;
}

template <Stream stream>
duk_ret_t ReadAll(duk_context* ctx) {
  if (stream != Stream::kIn) return ThrowBadFileMode(ctx, stream, "ReadAll");
  if (!PushRest(ctx)) return ThrowPastEnd(ctx, "ReadAll");
  return 1;
}

/// Waits for input on a terminal, as WSH did.
template <Stream stream>
duk_ret_t AtEndOfStream(duk_context* ctx) {
  if (stream != Stream::kIn) return ThrowBadFileMode(ctx, stream, "AtEndOfStream");
  duk_push_boolean(ctx, AtEnd());
  return 1;
}

template <Stream stream>
void PushStream(duk_context* ctx) {
  duk_push_object(ctx);
  PutMethod(ctx, "Write", Write<stream>, 1);
  PutMethod(ctx, "WriteLine", WriteLine<stream>, 1);
  PutMethod(ctx, "WriteBlankLines", WriteBlankLines<stream>, 1);
  PutMethod(ctx, "ReadLine", ReadLine<stream>, 0);
  PutMethod(ctx, "ReadAll", ReadAll<stream>, 0);
  PutGetter(ctx, "AtEndOfStream", AtEndOfStream<stream>);
  WrapHostObject(ctx, NameOf(stream));
}

}  // namespace

void PutTextStreams(duk_context* ctx) {
  PushStream<Stream::kIn>(ctx);
  PutConstant(ctx, "StdIn");
  PushStream<Stream::kOut>(ctx);
  PutConstant(ctx, "StdOut");
  PushStream<Stream::kErr>(ctx);
  PutConstant(ctx, "StdErr");
}

}  // namespace script_host
