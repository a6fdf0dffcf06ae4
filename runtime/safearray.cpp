// SAFEARRAY descriptors and their element storage.
//
// Every descriptor is allocated behind a 16-byte header whose last four bytes
// hold the element VARTYPE (FADF_HAVEVARTYPE), so SafeArrayGetVartype can
// answer for any element type, not only those with a feature flag.
//
// Element transfer follows the classic calling convention: SafeArrayGetElement
// writes the element to `*value` (a BSTR*, VARIANT*, IUnknown**, int32_t*...);
// SafeArrayPutElement takes BSTR, IDispatch* and IUnknown* elements as the
// pointer itself and every other type through a pointer to the value.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "tarvex10/platform.h"
#include "variant/value_size.h"

namespace {

constexpr size_t kHeader = 16;
constexpr USHORT kOwnedElements = FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT;

// 0 for element types that an array cannot hold.
ULONG ElementSize(VARTYPE vt) { return static_cast<ULONG>(tvx::ValueSize(vt)); }

USHORT FeaturesFor(VARTYPE vt) {
    switch (vt) {
    case VT_BSTR: return FADF_BSTR;
    case VT_VARIANT: return FADF_VARIANT;
    case VT_DISPATCH: return FADF_DISPATCH;
    case VT_UNKNOWN: return FADF_UNKNOWN;
    default: return 0;
    }
}

size_t DescriptorSize(UINT dims) { return sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND); }

unsigned char *HeaderOf(SAFEARRAY *array) { return reinterpret_cast<unsigned char *>(array) - kHeader; }

void StoreVartype(SAFEARRAY *array, VARTYPE vt) {
    const DWORD stored = vt;
    std::memcpy(HeaderOf(array) + kHeader - sizeof stored, &stored, sizeof stored);
}

VARTYPE StoredVartype(const SAFEARRAY *array) {
    DWORD stored;
    std::memcpy(&stored, reinterpret_cast<const unsigned char *>(array) - sizeof stored, sizeof stored);
    return static_cast<VARTYPE>(stored);
}

// Whether the descriptor's fields agree with one another. Every use of an
// array trusts them (the element kind to copy or free, the element size to
// step by, the dimensions to multiply), and a client can hand in any
// descriptor or change one of ours: one that disagrees is refused rather
// than read past its storage.
bool Consistent(const SAFEARRAY *array) {
    if (array->cDims == 0 || array->cbElements == 0) return false;
    const USHORT owned = array->fFeatures & kOwnedElements;
    size_t owned_size = 0;
    switch (owned) {
    case 0: break;
    case FADF_BSTR: owned_size = sizeof(BSTR); break;
    case FADF_VARIANT: owned_size = sizeof(VARIANT); break;
    case FADF_UNKNOWN:
    case FADF_DISPATCH: owned_size = sizeof(IUnknown *); break;
    default: return false; // two kinds of element at once
    }
    if (owned_size && array->cbElements != owned_size) return false;
    if (array->fFeatures & FADF_HAVEVARTYPE) {
        const VARTYPE vt = StoredVartype(array);
        if (ElementSize(vt) != array->cbElements || FeaturesFor(vt) != owned) return false;
    }
    return true;
}

std::atomic_ref<ULONG> Locks(SAFEARRAY *array) { return std::atomic_ref<ULONG>(array->cLocks); }

// Bytes of element storage, or false when that overflows the address space.
bool StorageBytes(const SAFEARRAY *array, size_t &bytes) {
    size_t count = 1;
    for (USHORT d = 0; d < array->cDims; ++d) {
        if (__builtin_mul_overflow(count, static_cast<size_t>(array->rgsabound[d].cElements), &count)) return false;
    }
    return !__builtin_mul_overflow(count, static_cast<size_t>(array->cbElements), &bytes);
}

size_t ElementCount(const SAFEARRAY *array) {
    size_t count = 1;
    for (USHORT d = 0; d < array->cDims; ++d) count *= array->rgsabound[d].cElements;
    return count;
}

// A descriptor with zeroed element storage; `bounds` is in stored order.
SAFEARRAY *Allocate(VARTYPE vt, USHORT features, ULONG element_size, UINT dims, const SAFEARRAYBOUND *stored_bounds) {
    auto *block = static_cast<unsigned char *>(std::calloc(1, kHeader + DescriptorSize(dims)));
    if (!block) return nullptr;
    auto *array = reinterpret_cast<SAFEARRAY *>(block + kHeader);
    array->cDims = static_cast<USHORT>(dims);
    array->fFeatures = static_cast<USHORT>(features | FADF_HAVEVARTYPE);
    array->cbElements = element_size;
    std::memcpy(array->rgsabound, stored_bounds, dims * sizeof(SAFEARRAYBOUND));
    StoreVartype(array, vt);

    size_t bytes = 0;
    if (!StorageBytes(array, bytes)) {
        std::free(block);
        return nullptr;
    }
    if (bytes > 0) {
        array->pvData = std::calloc(1, bytes);
        if (!array->pvData) {
            std::free(block);
            return nullptr;
        }
    }
    return array;
}

void ClearElements(SAFEARRAY *array) {
    if (!array->pvData || !(array->fFeatures & kOwnedElements)) return;
    const size_t count = ElementCount(array);
    auto *data = static_cast<unsigned char *>(array->pvData);
    for (size_t i = 0; i < count; ++i) {
        void *element = data + i * array->cbElements;
        if (array->fFeatures & FADF_BSTR) {
            SysFreeString(*static_cast<BSTR *>(element));
        } else if (array->fFeatures & FADF_VARIANT) {
            VariantClear(static_cast<VARIANT *>(element));
        } else if (auto *unknown = *static_cast<IUnknown **>(element)) {
            unknown->Release();
        }
    }
}

BSTR CopyBstr(BSTR text) {
    return text ? SysAllocStringByteLen(reinterpret_cast<const char *>(text), SysStringByteLen(text)) : nullptr;
}

// Pointer to the element at `indices` (first dimension first), or null when
// an index is outside its bounds. The first dimension varies fastest.
void *ElementAt(SAFEARRAY *array, const LONG *indices) {
    size_t offset = 0;
    for (UINT d = array->cDims; d-- > 0;) {
        const SAFEARRAYBOUND &bound = array->rgsabound[array->cDims - 1 - d];
        const int64_t relative = int64_t{indices[d]} - bound.lLbound;
        if (relative < 0 || relative >= int64_t{bound.cElements}) return nullptr;
        offset = offset * bound.cElements + static_cast<size_t>(relative);
    }
    return static_cast<unsigned char *>(array->pvData) + offset * array->cbElements;
}

} // namespace

extern "C" {

TVX_PLATFORM_API SAFEARRAY *SafeArrayCreate(VARTYPE vt, UINT dims, const SAFEARRAYBOUND *bounds) {
    const ULONG size = ElementSize(vt);
    if (size == 0 || dims == 0 || dims > 0xFFFF || !bounds) return nullptr;
    SAFEARRAYBOUND stored[64];
    SAFEARRAYBOUND *reversed = dims <= 64 ? stored : new (std::nothrow) SAFEARRAYBOUND[dims];
    if (!reversed) return nullptr;
    for (UINT i = 0; i < dims; ++i) reversed[dims - 1 - i] = bounds[i];
    SAFEARRAY *array = Allocate(vt, FeaturesFor(vt), size, dims, reversed);
    if (reversed != stored) delete[] reversed;
    return array;
}

TVX_PLATFORM_API SAFEARRAY *SafeArrayCreateVector(VARTYPE vt, LONG lower_bound, ULONG elements) {
    const SAFEARRAYBOUND bound{elements, lower_bound};
    return SafeArrayCreate(vt, 1, &bound);
}

TVX_PLATFORM_API HRESULT SafeArrayDestroy(SAFEARRAY *array) {
    if (!array) return S_OK;
    if (!Consistent(array)) return E_INVALIDARG;
    if (Locks(array).load() > 0) return DISP_E_ARRAYISLOCKED;
    ClearElements(array);
    std::free(array->pvData);
    std::free(HeaderOf(array));
    return S_OK;
}

TVX_PLATFORM_API HRESULT SafeArrayCopy(SAFEARRAY *src, SAFEARRAY **dest) {
    if (!dest) return E_INVALIDARG;
    *dest = nullptr;
    if (!src) return S_OK;
    if (!Consistent(src)) return E_INVALIDARG;
    VARTYPE vt = VT_EMPTY;
    SafeArrayGetVartype(src, &vt);
    SAFEARRAY *copy = Allocate(vt, src->fFeatures & ~FADF_HAVEVARTYPE, src->cbElements, src->cDims, src->rgsabound);
    if (!copy) return E_OUTOFMEMORY;
    if (!(src->fFeatures & FADF_HAVEVARTYPE)) copy->fFeatures &= static_cast<USHORT>(~FADF_HAVEVARTYPE);
    if (!src->pvData || !copy->pvData) {
        *dest = copy;
        return S_OK;
    }

    const size_t count = ElementCount(src);
    const auto *from = static_cast<const unsigned char *>(src->pvData);
    auto *to = static_cast<unsigned char *>(copy->pvData);
    if (!(src->fFeatures & kOwnedElements)) {
        std::memcpy(to, from, count * src->cbElements);
        *dest = copy;
        return S_OK;
    }
    for (size_t i = 0; i < count; ++i) {
        const void *source = from + i * src->cbElements;
        void *target = to + i * src->cbElements;
        if (src->fFeatures & FADF_BSTR) {
            BSTR text = *static_cast<const BSTR *>(source);
            BSTR duplicate = CopyBstr(text);
            if (text && !duplicate) {
                SafeArrayDestroy(copy);
                return E_OUTOFMEMORY;
            }
            *static_cast<BSTR *>(target) = duplicate;
        } else if (src->fFeatures & FADF_VARIANT) {
            const HRESULT hr = VariantCopy(static_cast<VARIANT *>(target), static_cast<const VARIANT *>(source));
            if (FAILED(hr)) {
                SafeArrayDestroy(copy);
                return hr;
            }
        } else {
            IUnknown *unknown = *static_cast<IUnknown *const *>(source);
            if (unknown) unknown->AddRef();
            *static_cast<IUnknown **>(target) = unknown;
        }
    }
    *dest = copy;
    return S_OK;
}

TVX_PLATFORM_API UINT SafeArrayGetDim(SAFEARRAY *array) { return array ? array->cDims : 0; }

TVX_PLATFORM_API UINT SafeArrayGetElemsize(SAFEARRAY *array) { return array ? array->cbElements : 0; }

TVX_PLATFORM_API HRESULT SafeArrayGetVartype(SAFEARRAY *array, VARTYPE *vt) {
    if (!array || !vt || !Consistent(array)) return E_INVALIDARG;
    if (array->fFeatures & FADF_HAVEVARTYPE) {
        *vt = StoredVartype(array);
    } else if (array->fFeatures & FADF_BSTR) {
        *vt = VT_BSTR;
    } else if (array->fFeatures & FADF_VARIANT) {
        *vt = VT_VARIANT;
    } else if (array->fFeatures & FADF_DISPATCH) {
        *vt = VT_DISPATCH;
    } else if (array->fFeatures & FADF_UNKNOWN) {
        *vt = VT_UNKNOWN;
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

TVX_PLATFORM_API HRESULT SafeArrayGetLBound(SAFEARRAY *array, UINT dim, LONG *lower_bound) {
    if (!array || !lower_bound) return E_INVALIDARG;
    if (dim < 1 || dim > array->cDims) return DISP_E_BADINDEX;
    *lower_bound = array->rgsabound[array->cDims - dim].lLbound;
    return S_OK;
}

TVX_PLATFORM_API HRESULT SafeArrayGetUBound(SAFEARRAY *array, UINT dim, LONG *upper_bound) {
    if (!array || !upper_bound) return E_INVALIDARG;
    if (dim < 1 || dim > array->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND &bound = array->rgsabound[array->cDims - dim];
    *upper_bound = static_cast<LONG>(int64_t{bound.lLbound} + int64_t{bound.cElements} - 1);
    return S_OK;
}

TVX_PLATFORM_API HRESULT SafeArrayAccessData(SAFEARRAY *array, void **data) {
    if (!array || !data) return E_INVALIDARG;
    Locks(array).fetch_add(1);
    *data = array->pvData;
    return S_OK;
}

TVX_PLATFORM_API HRESULT SafeArrayUnaccessData(SAFEARRAY *array) {
    if (!array) return E_INVALIDARG;
    ULONG locks = Locks(array).load();
    do {
        if (locks == 0) return E_UNEXPECTED;
    } while (!Locks(array).compare_exchange_weak(locks, locks - 1));
    return S_OK;
}

TVX_PLATFORM_API HRESULT SafeArrayGetElement(SAFEARRAY *array, const LONG *indices, void *value) {
    if (!array || !indices || !value || !Consistent(array)) return E_INVALIDARG;
    const void *element = ElementAt(array, indices);
    if (!element) return DISP_E_BADINDEX;
    if (array->fFeatures & FADF_BSTR) {
        BSTR text = *static_cast<const BSTR *>(element);
        BSTR duplicate = CopyBstr(text);
        if (text && !duplicate) return E_OUTOFMEMORY;
        *static_cast<BSTR *>(value) = duplicate;
    } else if (array->fFeatures & FADF_VARIANT) {
        // The caller's variant is an out-parameter: whatever it held is not ours.
        VariantInit(static_cast<VARIANT *>(value));
        return VariantCopy(static_cast<VARIANT *>(value), static_cast<const VARIANT *>(element));
    } else if (array->fFeatures & (FADF_DISPATCH | FADF_UNKNOWN)) {
        IUnknown *unknown = *static_cast<IUnknown *const *>(element);
        if (unknown) unknown->AddRef();
        *static_cast<IUnknown **>(value) = unknown;
    } else {
        std::memcpy(value, element, array->cbElements);
    }
    return S_OK;
}

TVX_PLATFORM_API HRESULT SafeArrayPutElement(SAFEARRAY *array, const LONG *indices, const void *value) {
    if (!array || !indices || !Consistent(array)) return E_INVALIDARG;
    void *element = ElementAt(array, indices);
    if (!element) return DISP_E_BADINDEX;
    if (array->fFeatures & FADF_BSTR) {
        BSTR text = static_cast<BSTR>(const_cast<void *>(value));
        BSTR duplicate = CopyBstr(text);
        if (text && !duplicate) return E_OUTOFMEMORY;
        SysFreeString(*static_cast<BSTR *>(element));
        *static_cast<BSTR *>(element) = duplicate;
    } else if (array->fFeatures & FADF_VARIANT) {
        if (!value) return E_INVALIDARG;
        return VariantCopy(static_cast<VARIANT *>(element), static_cast<const VARIANT *>(value));
    } else if (array->fFeatures & (FADF_DISPATCH | FADF_UNKNOWN)) {
        auto *unknown = static_cast<IUnknown *>(const_cast<void *>(value));
        if (unknown) unknown->AddRef();
        if (auto *old = *static_cast<IUnknown **>(element)) old->Release();
        *static_cast<IUnknown **>(element) = unknown;
    } else {
        if (!value) return E_INVALIDARG;
        std::memcpy(element, value, array->cbElements);
    }
    return S_OK;
}

} // extern "C"
