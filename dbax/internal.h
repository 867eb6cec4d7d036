// Process-wide state of the data access layer, shared by its source files.
#pragma once

#include <vector>

#include "dbax/dbax.h"

namespace dbAx::detail {

// Unguarded: the layer is used from the one thread the platform calls on.
std::vector<CAxConnection*>& Registry();

// An ADO property that is written first when `write`, then read back; a failed call throws with `label`.
template <class Object, class Value>
Value WriteThenRead(Object* object, const char16_t* label, bool write, Value value, HRESULT (Object::*put)(Value),
                    HRESULT (Object::*get)(Value*)) {
  if (write) {
    HRESULT hr = (object->*put)(value);
    if (FAILED(hr)) ThrowAxException(0, label, hr);
  }
  Value current{};
  HRESULT hr = (object->*get)(&current);
  if (FAILED(hr)) ThrowAxException(0, label, hr);
  return current;
}

}  // namespace dbAx::detail
