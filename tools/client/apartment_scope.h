// The calling thread in a single-threaded apartment for the life of a scope: what a host does
// before it creates the control, and undoes when it is done with COM.
#pragma once

#include "pal/objbase.h"

namespace prowlnet_client {

class ApartmentScope {
 public:
  ApartmentScope() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
  ~ApartmentScope() { CoUninitialize(); }
  ApartmentScope(const ApartmentScope&) = delete;
  ApartmentScope& operator=(const ApartmentScope&) = delete;
};

}  // namespace prowlnet_client
