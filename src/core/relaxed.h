// Values that one thread writes while another may read them, when neither
// needs to see the other's writes in order: a count of work done, a cancel
// flag, a pixel covered by another colour's cover. Relaxed atomic accesses
// make the exchange defined; on common processors they are plain loads and
// stores. (std::atomic_ref would do, but not every standard library the
// core is built with has it.)
#pragma once

namespace pixtable {

template <typename T>
T RelaxedLoad(const T& value) {
  return __atomic_load_n(&value, __ATOMIC_RELAXED);
}

template <typename T>
void RelaxedStore(T& value, T next) {
  __atomic_store_n(&value, next, __ATOMIC_RELAXED);
}

}  // namespace pixtable
