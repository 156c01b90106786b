// The registrar: runs registry scripts, the text that in-process servers register their classes
// with, in register or unregister mode.
//
//   HKCR
//   {
//     NoRemove CLSID
//     {
//       ForceRemove {...} = s 'Camera Viewer'
//       {
//         InprocServer32 = s '%MODULE%'
//         {
//           val ThreadingModel = s 'Apartment'
//         }
//       }
//     }
//   }
//
// Roots: HKCR, HKCU, HKLM (or their long names). An entry is [ForceRemove|NoRemove|Delete]
// name [= s 'text' | = d 'number'] [{ entries }], or val name = s 'text' | d 'number' for a
// named value of the enclosing key. Words are separated by white space; a name or value with
// spaces is quoted with single quotes, and '' inside quotes is one quote. %NAME% in a name or a
// value is replaced by the text given to AddReplacement (names compare without regard to case),
// %% by %. A replacement is text wherever it stands, as if the script's quoting rule had been
// applied to it: quotes, braces and white space in a module's path are kept as they are. (ATL
// pastes replacements into the script before reading it, and its modules double the quotes of
// the one they expect quotes in; a replacement here needs no such care, and must not have it.)
//
// Register: ForceRemove deletes the key with everything below it before writing it again; Delete
// deletes the key and writes nothing. Unregister: named values written by the script are deleted;
// a key is deleted after its entries have been, unless it is NoRemove or something not written
// by the script remains below it; a ForceRemove key is deleted with everything below it unless
// the script keeps a NoRemove key inside it.
//
// A script that does not parse, names a replacement that was not given, names a key with an
// empty name, or would take a backslash from a replacement into a key's name (a key below
// another), fails with DISP_E_EXCEPTION before anything is written; a registry call that fails
// ends the run with its error as an HRESULT.
#pragma once

#include <map>
#include <string>

#include "pal/oleauto.h"

namespace ATL {

class CRegObject {
 public:
  HRESULT AddReplacement(LPCOLESTR key, LPCOLESTR item);
  HRESULT ClearReplacements();
  HRESULT StringRegister(LPCOLESTR script);
  HRESULT StringUnregister(LPCOLESTR script);
  /// Runs the script that the module at `moduleFileName` carries as resource `id` of `type`
  /// (UTF-16 text, as pal/libloader.h describes); the loader's error as an HRESULT when the
  /// module or the resource cannot be found.
  HRESULT ResourceRegister(LPCOLESTR moduleFileName, UINT id, LPCOLESTR type);
  HRESULT ResourceUnregister(LPCOLESTR moduleFileName, UINT id, LPCOLESTR type);

 private:
  HRESULT Run(LPCOLESTR script, bool registering);
  HRESULT RunResource(LPCOLESTR moduleFileName, UINT id, LPCOLESTR type, bool registering);

  std::map<std::u16string, std::u16string> replacements_;  // by upper-cased name
};

}  // namespace ATL
