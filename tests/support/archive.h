// Archives in memory: what an object's Serialize stores, and loading it back from bytes.
#pragma once

#include "tests/support/bytes.h"

#include <functional>

class CArchive;

namespace qmtest {

// The bytes `write` stores into an archive.
Bytes Store(const std::function<void(CArchive&)>& write);
// Loads from the bytes with `read`; what it throws passes through.
void Load(const Bytes& bytes, const std::function<void(CArchive&)>& read);

// The same for one object with a Serialize member.
template <class T>
Bytes StoreObject(T& object)
{
    return Store([&](CArchive& ar) { object.Serialize(ar); });
}
template <class T>
void LoadObject(T& object, const Bytes& bytes)
{
    Load(bytes, [&](CArchive& ar) { object.Serialize(ar); });
}

}  // namespace qmtest
