#include "db/object.h"

namespace vordex {

const CRuntimeClass CObject::ClassRecord = {"CObject", nullptr};

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    for (const CRuntimeClass* cls = this; cls != nullptr; cls = cls->BaseClass) {
        if (cls == base) return true;
    }
    return false;
}

const CRuntimeClass* CObject::GetRuntimeClass() const { return &ClassRecord; }

}  // namespace vordex
