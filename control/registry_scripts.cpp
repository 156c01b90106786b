#include "control/registry_scripts.h"

namespace prowlnet::control {

const char16_t kApplicationScript[] = uR"(HKCR
{
	NoRemove AppID
	{
		'%APPID%' = s 'Prowlnet'
		'Prowlnet.DLL'
		{
			val AppID = s '%APPID%'
		}
	}
}
)";

const char16_t kClassScript[] = uR"(HKCR
{
	Prowlnet.CProwlnet.1 = s 'CProwlnet Class'
	{
		CLSID = s '{4C0289A2-35F4-4249-A56B-5968922ED685}'
	}
	Prowlnet.CProwlnet = s 'CProwlnet Class'
	{
		CLSID = s '{4C0289A2-35F4-4249-A56B-5968922ED685}'
		CurVer = s 'Prowlnet.CProwlnet.1'
	}
	NoRemove CLSID
	{
		ForceRemove {4C0289A2-35F4-4249-A56B-5968922ED685} = s 'CProwlnet Class'
		{
			ProgID = s 'Prowlnet.CProwlnet.1'
			VersionIndependentProgID = s 'Prowlnet.CProwlnet'
			ForceRemove 'Programmable'
			InprocServer32 = s '%MODULE%'
			{
				val ThreadingModel = s 'Apartment'
			}
			val AppID = s '%APPID%'
			ForceRemove 'Control'
			ForceRemove 'ToolboxBitmap32' = s '%MODULE%, 102'
			'MiscStatus' = s '0'
			{
				'1' = s '%OLEMISC%'
			}
			'TypeLib' = s '{D6C4AA6D-CF16-48B4-AD5D-EEFA5660E725}'
			'Version' = s '1.0'
		}
	}
}
)";

}  // namespace prowlnet::control
