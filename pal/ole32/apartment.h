// The apartment of the calling thread, and the end of an apartment.
#pragma once

#include <cstdint>

namespace pal::ole32 {

enum class ApartmentKind { kNone, kSingleThreaded, kMultithreaded };

using ApartmentId = std::uint64_t;
constexpr ApartmentId kMultithreadedApartment = 1;

ApartmentKind CurrentApartmentKind();
/// The calling thread's apartment; meaningful only when it has one.
ApartmentId CurrentApartment();

}  // namespace pal::ole32
