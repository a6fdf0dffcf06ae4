#include "component/resources.h"

#include <array>
#include <deque>
#include <memory>
#include <new>
#include <string_view>

#include "ascii/ascii.h"
#include "convert/convert.h"
#include "error/error.h"
#include "frame/type_info.h"

namespace tvx {
namespace {

// ---- the version record, in the classic binary version-record layout ------------
// Blocks of: length (16 bits, the block and its children), value length (in
// characters for a text, in bytes otherwise), type (1 text, 0 binary), a
// NUL-terminated UTF-16 key, padding to 32 bits, the value; children start on
// 32-bit boundaries.

struct VersionText {
    std::u16string_view key, value;
};

constexpr uint32_t kVersionMs = (1u << 16) | 0u;  // 1.0
constexpr uint32_t kVersionLs = (0u << 16) | 89u; // .0.89

constexpr VersionText kVersionTexts[] = {
    {u"Comments", u"This library contains Multimedia Video classes like VFW, cut video, video capture devices etc."},
    {u"CompanyName", u"The Tarvex10 developers"},
    {u"FileDescription", u"Tarvex10 multimedia video classes"},
    {u"FileVersion", u"1.00.0089"},
    {u"InternalName", u"Tarvex10"},
    {u"LegalCopyright", u"Copyright (C) The Tarvex10 developers"},
    {u"LegalTrademarks", u""},
    {u"OriginalFilename", u"libtarvex10.so"},
    {u"ProductName", u"Tarvex10"},
    {u"ProductVersion", u"1.00.0089"},
    // The self-registration marker: present, with an empty value.
    {u"OLESelfRegister", u""},
};

class RecordWriter {
public:
    static constexpr size_t kCapacity = 2048;

    constexpr void U16(uint16_t v) {
        bytes_[size_++] = static_cast<uint8_t>(v);
        bytes_[size_++] = static_cast<uint8_t>(v >> 8);
    }
    constexpr void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    constexpr void Align() {
        while (size_ % 4) bytes_[size_++] = 0;
    }
    constexpr void Chars(std::u16string_view text) {
        for (char16_t c : text) U16(c);
        U16(0);
    }
    // Writes a block's header and key; End fills in its length.
    constexpr size_t Begin(std::u16string_view key, uint16_t value_length, uint16_t type) {
        Align();
        const size_t start = size_;
        U16(0);
        U16(value_length);
        U16(type);
        Chars(key);
        Align();
        return start;
    }
    constexpr void End(size_t start) {
        const size_t length = size_ - start;
        bytes_[start] = static_cast<uint8_t>(length);
        bytes_[start + 1] = static_cast<uint8_t>(length >> 8);
    }
    constexpr size_t Size() const { return size_; }
    constexpr const std::array<uint8_t, kCapacity> &Bytes() const { return bytes_; }

private:
    std::array<uint8_t, kCapacity> bytes_{};
    size_t size_ = 0;
};

constexpr RecordWriter BuildVersionRecord() {
    RecordWriter w;
    const size_t root = w.Begin(u"VS_VERSION_INFO", 52, 0);
    // The fixed part: signature, structure version, file and product
    // versions, flags mask and flags, operating system (unknown), file type
    // (a library), subtype and date.
    for (uint32_t v : {0xFEEF04BDu, 0x00010000u, kVersionMs, kVersionLs, kVersionMs, kVersionLs, 0x3Fu, 0u, 0u, 2u,
                       0u, 0u, 0u})
        w.U32(v);
    const size_t strings = w.Begin(u"StringFileInfo", 0, 1);
    const size_t table = w.Begin(u"040904B0", 0, 1); // English (United States), Unicode
    for (const VersionText &text : kVersionTexts) {
        const size_t entry = w.Begin(text.key, static_cast<uint16_t>(text.value.size() + 1), 1);
        w.Chars(text.value);
        w.End(entry);
    }
    w.End(table);
    w.End(strings);
    const size_t vars = w.Begin(u"VarFileInfo", 0, 1);
    const size_t translation = w.Begin(u"Translation", 4, 0);
    w.U16(0x0409);
    w.U16(0x04B0);
    w.End(translation);
    w.End(vars);
    w.End(root);
    return w;
}

constexpr RecordWriter kVersionRecord = BuildVersionRecord();
static_assert(kVersionRecord.Size() < RecordWriter::kCapacity);

// ---- the type library --------------------------------------------------------------

void AppendLittleEndian(std::vector<uint8_t> &out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// Everything a published table points into.
struct Published {
    std::vector<uint8_t> type_library;
    std::vector<std::string> names;
    std::vector<std::vector<uint8_t>> interface_ids;
};

} // namespace

std::span<const uint8_t> VersionRecord() { return {kVersionRecord.Bytes().data(), kVersionRecord.Size()}; }

std::string InterfaceResourceName(const ClassInfo &info) {
    return "_IID_" + ascii::UpperCase(convert::ToUtf8(info.name));
}

std::vector<uint8_t> WriteTypeLibrary(const LibraryInfo &library) {
    std::deque<InterfaceDescription> descriptions; // a deque, so that each stays put
    std::deque<std::string> names;
    std::vector<TVXINTERFACEINFO> interfaces;
    std::vector<TVXCLASSENTRY> classes;
    for (size_t c = 0; c < library.classes.size(); ++c) {
        const ClassInfo &info = *library.classes[c];
        interfaces.push_back(
            descriptions.emplace_back(info, library.major_version, library.minor_version).Info());
        // The application object is predeclared: clients call it without
        // naming an instance.
        const WORD class_flags = TYPEFLAG_FCANCREATE |
                                 (info.application_object ? TYPEFLAG_FAPPOBJECT | TYPEFLAG_FPREDECLID : 0);
        classes.push_back({names.emplace_back(convert::ToUtf8(info.name)).c_str(), info.clsid, class_flags,
                           static_cast<USHORT>(c)});
    }
    const std::string library_name = convert::ToUtf8(library.name);
    const TVXTYPELIBINFO description{library_name.c_str(),
                                     library.id,
                                     library.major_version,
                                     library.minor_version,
                                     library.locale,
                                     static_cast<USHORT>(interfaces.size()),
                                     interfaces.data(),
                                     static_cast<USHORT>(classes.size()),
                                     classes.data()};
    size_t size = 0;
    HRESULT status = TvxWriteTypeLib(&description, nullptr, 0, &size);
    if (status != E_NOT_SUFFICIENT_BUFFER) throw FailedStatus(FAILED(status) ? status : E_UNEXPECTED);
    std::vector<uint8_t> bytes(size);
    Check(TvxWriteTypeLib(&description, bytes.data(), bytes.size(), &size));
    return bytes;
}

const std::string &ModulePath() {
    static const std::string path = [] {
        std::string text(4096, '\0');
        const size_t length = TvxGetModuleFileName(reinterpret_cast<const void *>(&ModulePath), text.data(),
                                                   text.size());
        text.resize(length < text.size() ? length : text.size() - 1);
        return text;
    }();
    return path;
}

void PublishLibraryResources() noexcept {
    // Once per process; a failure is retried by the next call, and in the
    // meantime the look-ups find nothing.
    try {
        static const bool published = [] {
        const LibraryInfo &library = ThisLibrary();
        auto kept = std::make_unique<Published>();
        kept->type_library = WriteTypeLibrary(library);
        std::vector<TVXRESOURCE> table;
        table.push_back({"TYPELIB", 0, 1, kept->type_library.data(), static_cast<DWORD>(kept->type_library.size())});
        kept->names.reserve(library.classes.size());
        kept->interface_ids.reserve(library.classes.size());
        for (const ClassInfo *info : library.classes) {
            std::vector<uint8_t> &bytes = kept->interface_ids.emplace_back();
            AppendLittleEndian(bytes, 16, 4);
            AppendLittleEndian(bytes, info->iid.Data1, 4);
            AppendLittleEndian(bytes, info->iid.Data2, 2);
            AppendLittleEndian(bytes, info->iid.Data3, 2);
            bytes.insert(bytes.end(), info->iid.Data4, info->iid.Data4 + 8);
            table.push_back({kept->names.emplace_back(InterfaceResourceName(*info)).c_str(), 0, 1, bytes.data(),
                             static_cast<DWORD>(bytes.size())});
        }
        const std::span<const uint8_t> record = VersionRecord();
        table.push_back({nullptr, TVX_RT_VERSION, 1, record.data(), static_cast<DWORD>(record.size())});
        // The runtime copies the table; what it pointed into can go.
        Check(TvxRegisterModuleResources(ModulePath().c_str(), table.data(), table.size()));
        return true;
        }();
        (void)published;
    } catch (...) {
    }
}

} // namespace tvx
