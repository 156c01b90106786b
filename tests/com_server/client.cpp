// A second process for the conformance tests: registers a server module, or creates the server
// by ProgID and calls it through its vtable, and reports on stdout.
//
//   com_client register MODULE [gate]   gate: write "r", wait for one byte on stdin, then register
//   com_client call PROGID              prints "sum=5 text=cam:3001"
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "com_server/cam_test.h"

namespace {

int Register(const char* module, bool gated) {
  void* handle = dlopen(module, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return 3;
  auto registerServer = reinterpret_cast<HRESULT (*)()>(dlsym(handle, "DllRegisterServer"));
  if (registerServer == nullptr) return 4;
  if (gated) {
    char byte = 'r';
    if (write(STDOUT_FILENO, &byte, 1) != 1 || read(STDIN_FILENO, &byte, 1) != 1) return 5;
  }
  const HRESULT hr = registerServer();
  std::printf("hr=%08x\n", static_cast<unsigned>(hr));
  dlclose(handle);
  return hr == S_OK ? 0 : 1;
}

int Call(const char* progId) {
  const std::string narrow(progId);
  const std::u16string wide(narrow.begin(), narrow.end());
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
  CLSID clsid;
  com_server::ICamTest* server = nullptr;
  if (FAILED(CLSIDFromProgID(wide.c_str(), &clsid))) return 4;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, com_server::kServerA.iid, reinterpret_cast<void**>(&server))))
    return 5;
  LONG sum = 0;
  BSTR name = SysAllocString(u"cam");
  BSTR text = nullptr;
  const bool called = SUCCEEDED(server->Add(2, 3, &sum)) && SUCCEEDED(server->Describe(name, 3001, &text));
  std::string narrowText;
  for (UINT i = 0; i < SysStringLen(text); ++i) narrowText += static_cast<char>(text[i]);
  std::printf("sum=%d text=%s\n", static_cast<int>(sum), narrowText.c_str());
  SysFreeString(name);
  SysFreeString(text);
  server->Release();
  CoUninitialize();
  return called ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "register") == 0) return Register(argv[2], argc >= 4 && std::strcmp(argv[3], "gate") == 0);
  if (argc == 3 && std::strcmp(argv[1], "call") == 0) return Call(argv[2]);
  std::fprintf(stderr, "usage: com_client register MODULE [gate] | call PROGID\n");
  return 2;
}
