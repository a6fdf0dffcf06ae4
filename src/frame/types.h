// The automation type words of the member tables and the C++ types that
// member bodies use for them.
//
//   word                 body type              binary type (by value / by ref)
//   int32                int32_t                LONG / LONG*
//   int16                int16_t                SHORT / SHORT*
//   byte                 uint8_t                BYTE / BYTE*
//   double               double                 double / double*
//   bool16               Bool16                 VARIANT_BOOL / VARIANT_BOOL*
//   string               std::u16string         BSTR / BSTR*
//   Variant              Variant                VARIANT / VARIANT*
//   object               ComPtr<IDispatch>      IDispatch* / IDispatch**
//   picture              Picture                IDispatch*
//   resource-kind enum   ResourceKind           LONG / LONG*
//
// A body takes a by-ref parameter as `const T &` when it only reads it and
// as ByRef<T> (member.h) when it may store into it.
#ifndef TVX_FRAME_TYPES_H
#define TVX_FRAME_TYPES_H

#include <cstdint>
#include <string>

#include "tarvex10/automation.hpp"

namespace tvx {

enum class AutoType : uint8_t { None, Int32, Int16, Byte, Double, Bool16, String, Variant, Object, Picture, ResourceKind };
enum class Passing : uint8_t { ByValue, ByRef };
enum class MemberKind : uint8_t { Method, Get, Put, PutRef };

// Truth values as the interface carries them: true is -1, false 0.
enum class Bool16 : int16_t { False = 0, True = -1 };
constexpr Bool16 ToBool16(bool value) { return value ? Bool16::True : Bool16::False; }

// The runtime's picture resource kinds; values are the runtime's choice.
enum class ResourceKind : int32_t { Bitmap = 0, Icon = 1, Cursor = 2 };

// A reference to a picture object, carried as its dispatch interface.
struct Picture {
    ComPtr<IDispatch> object;
};

// The Variant type tag that the type information gives each word.
constexpr VARTYPE VarTypeOf(AutoType type) {
    switch (type) {
    case AutoType::None: return VT_VOID;
    case AutoType::Int32: return VT_I4;
    case AutoType::Int16: return VT_I2;
    case AutoType::Byte: return VT_UI1;
    case AutoType::Double: return VT_R8;
    case AutoType::Bool16: return VT_BOOL;
    case AutoType::String: return VT_BSTR;
    case AutoType::Variant: return VT_VARIANT;
    case AutoType::Object: return VT_DISPATCH;
    case AutoType::Picture: return VT_DISPATCH;
    case AutoType::ResourceKind: return VT_I4;
    }
    return VT_EMPTY;
}

constexpr INVOKEKIND InvokeKindOf(MemberKind kind) {
    switch (kind) {
    case MemberKind::Method: return INVOKE_FUNC;
    case MemberKind::Get: return INVOKE_PROPERTYGET;
    case MemberKind::Put: return INVOKE_PROPERTYPUT;
    case MemberKind::PutRef: return INVOKE_PROPERTYPUTREF;
    }
    return INVOKE_FUNC;
}

// A BSTR's characters, NULs included; a null BSTR is the empty string.
inline std::u16string_view View(BSTR text) { return {text ? text : u"", SysStringLen(text)}; }
inline BSTR AllocBstr(std::u16string_view text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

} // namespace tvx

#endif // TVX_FRAME_TYPES_H
