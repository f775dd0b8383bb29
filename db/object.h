#pragma once

namespace vordex {

/// Run-time class record: the class's name and the record of its base.
struct CRuntimeClass {
    const char* ClassName;
    const CRuntimeClass* BaseClass;

    /// True when this class is `base` or derives from it.
    bool IsDerivedFrom(const CRuntimeClass* base) const;
};

/// Root of the database layer's classes.
class CObject {
public:
    static const CRuntimeClass ClassRecord;

    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
    virtual ~CObject() = default;

    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual void Serialise() {}
    virtual void CheckValid() const {}
    virtual void Dump() const {}

    bool IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }
};

}  // namespace vordex

/// Declares the run-time class record of a class derived from CObject.
#define VORDEX_DECLARE_RUNTIME_CLASS()            \
public:                                           \
    static const ::vordex::CRuntimeClass ClassRecord; \
    const ::vordex::CRuntimeClass* GetRuntimeClass() const override { return &ClassRecord; }

/// Defines the record in the class's source file.
#define VORDEX_IMPLEMENT_RUNTIME_CLASS(Class, Base) \
    const ::vordex::CRuntimeClass Class::ClassRecord = {#Class, &Base::ClassRecord};
