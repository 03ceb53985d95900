// The fixed identifiers of this server. They are written once here, in both
// binary and registry form; the registry scripts and the type library carry
// the same values and a test checks that they agree.
#pragma once

#include <windows.h>

extern "C" const CLSID CLSID_SimpleShlExt;
extern "C" const CLSID CLSID_CompReg;
extern "C" const GUID LIBID_SimpleExtLib;
extern "C" const IID IID_ISimpleShlExt;
extern "C" const IID IID_IComponentRegistrar;
extern "C" const GUID APPID_SimpleExt;

#define ORVANE_CLSID_SIMPLESHLEXT_TEXT L"{7C1E2B41-3A5D-4E8F-9B16-2D4F60A81C01}"
#define ORVANE_CLSID_COMPREG_TEXT L"{7C1E2B42-3A5D-4E8F-9B16-2D4F60A81C01}"
#define ORVANE_LIBID_TEXT L"{7C1E2B40-3A5D-4E8F-9B16-2D4F60A81C01}"
#define ORVANE_APPID_TEXT L"{7C1E2B45-3A5D-4E8F-9B16-2D4F60A81C01}"
