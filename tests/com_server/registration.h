// The server's registry scripts, in the form in-process servers carry them.
#pragma once

namespace com_server {

/// Application registration: %APPID%. The AppID key itself is never removed.
inline constexpr char16_t kAppScript[] = uR"(HKCR
{
  NoRemove AppID
  {
    '%APPID%' = s '%PROGID%'
    '%PROGID%.DLL'
    {
      val AppID = s '%APPID%'
    }
  }
}
)";

/// Class registration: %MODULE%, %CLSID%, %LIBID%, %APPID%, %PROGID%, %CLASSNAME%, %OLEMISC%.
inline constexpr char16_t kClassScript[] = uR"(HKCR
{
  %PROGID%.1 = s '%CLASSNAME%'
  {
    CLSID = s '%CLSID%'
  }
  %PROGID% = s '%CLASSNAME%'
  {
    CLSID = s '%CLSID%'
    CurVer = s '%PROGID%.1'
  }
  NoRemove CLSID
  {
    ForceRemove %CLSID% = s '%CLASSNAME%'
    {
      ProgID = s '%PROGID%.1'
      VersionIndependentProgID = s '%PROGID%'
      ForceRemove 'Programmable'
      InprocServer32 = s '%MODULE%'
      {
        val ThreadingModel = s 'Apartment'
      }
      val AppID = s '%APPID%'
      ForceRemove 'Control'
      'MiscStatus' = s '0'
      {
        '1' = s '%OLEMISC%'
      }
      'TypeLib' = s '%LIBID%'
      'Version' = s '1.0'
    }
  }
}
)";

}  // namespace com_server
