// The module object: one per process. It keeps the count that holds the module loaded, makes
// the class object on first request and keeps it for the module's life, registers and
// unregisters the module, and takes the control's window class with it when it is unloaded.
#pragma once

#include "pal/kernel32.h"
#include "pal/libloader.h"
#include "pal/oaidl.h"

namespace prowlnet::control {

class ClassFactory;

class CProwlnetModule {
 public:
  CProwlnetModule();
  ~CProwlnetModule();
  CProwlnetModule(const CProwlnetModule&) = delete;
  CProwlnetModule& operator=(const CProwlnetModule&) = delete;

  /// The lock count, changed only by interlocked operations: objects of several apartments may
  /// come and go at once.
  LONG Lock() { return InterlockedIncrement(&lockCount_); }
  LONG Unlock() { return InterlockedDecrement(&lockCount_); }
  LONG GetLockCount() const { return lockCount_; }

  /// This module, whose window class the control's window is of.
  HINSTANCE Instance() const { return instance_; }

  /// The class object for CLSID_CProwlnet; CLASS_E_CLASSNOTAVAILABLE for any other class.
  HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);

  /// Runs the application and class registry scripts and registers the type library, with the
  /// thread's locale set to the system default meanwhile; the first failure's HRESULT.
  HRESULT RegisterServer();
  /// Removes the class and the type library registration, then runs the application script in
  /// unregister mode, with the same locale rule.
  HRESULT UnregisterServer();

 private:
  const HINSTANCE instance_;
  LONG volatile lockCount_ = 0;
  CRITICAL_SECTION classObjectLock_;
  ClassFactory* classObject_ = nullptr;
};

/// The one module object of this module.
CProwlnetModule& TheModule();

/// Holds the module loaded for as long as it lives.
class ModuleLock {
 public:
  ModuleLock() { TheModule().Lock(); }
  ~ModuleLock() { TheModule().Unlock(); }
  ModuleLock(const ModuleLock&) = delete;
  ModuleLock& operator=(const ModuleLock&) = delete;
};

}  // namespace prowlnet::control
