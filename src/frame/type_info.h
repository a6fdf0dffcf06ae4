// The type information of a class's interface, built from its member table:
// the one description that both an object's GetTypeInfo and a library's type
// library are made from.
#ifndef TVX_FRAME_TYPE_INFO_H
#define TVX_FRAME_TYPE_INFO_H

#include <deque>
#include <string>
#include <vector>

#include "frame/object.h"

namespace tvx {

// The runtime's description of a class's interface (TVXINTERFACEINFO) and
// the texts and arrays it points into, which live as long as it does.
class InterfaceDescription {
public:
    InterfaceDescription(const ClassInfo &info, WORD major_version, WORD minor_version);
    InterfaceDescription(const InterfaceDescription &) = delete;
    InterfaceDescription &operator=(const InterfaceDescription &) = delete;

    const TVXINTERFACEINFO &Info() const { return info_; }

private:
    const char *Keep(std::u16string_view text);

    std::deque<std::string> texts_; // a deque, so that kept texts stay put
    std::vector<std::vector<TVXPARAMINFO>> params_;
    std::vector<TVXMEMBERINFO> members_;
    TVXINTERFACEINFO info_{};
};

// Creates the type information of a class's interface (version 1.0).
[[nodiscard]] HRESULT CreateClassTypeInfo(const ClassInfo &info, ITypeInfo **type_info);

} // namespace tvx

#endif // TVX_FRAME_TYPE_INFO_H
