// HRESULT-style results of the messaging components: 0 is success, negative is failure.
#pragma once

#include <cstdint>
#include <string_view>

namespace bm {

using HResult = std::int32_t;

namespace detail {
constexpr HResult Code(std::uint32_t value) {
  return static_cast<HResult>(value);
}
}  // namespace detail

inline constexpr HResult S_OK = 0;
// Success, but not everything asked for was done (for example an unreadable attachment).
inline constexpr HResult S_FALSE = 1;
inline constexpr HResult E_POINTER = detail::Code(0x80004003u);
inline constexpr HResult E_FAIL = detail::Code(0x80004005u);
inline constexpr HResult E_OUTOFMEMORY = detail::Code(0x8007000Eu);
inline constexpr HResult E_INVALIDARG = detail::Code(0x80070057u);
// A component whose runtime cannot be brought up reports what COM reports for a class
// that cannot be created.
inline constexpr HResult REGDB_E_CLASSNOTREG = detail::Code(0x80040154u);
inline constexpr HResult STG_E_FILENOTFOUND = detail::Code(0x80030002u);
inline constexpr HResult STG_E_PATHNOTFOUND = detail::Code(0x80030003u);
inline constexpr HResult STG_E_ACCESSDENIED = detail::Code(0x80030005u);
inline constexpr HResult STG_E_WRITEFAULT = detail::Code(0x8003001Du);
inline constexpr HResult STG_E_FILEALREADYEXISTS = detail::Code(0x80030050u);
inline constexpr HResult STG_E_MEDIUMFULL = detail::Code(0x80030070u);
// HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE): a name or path longer than the file system
// takes.
inline constexpr HResult E_FILENAMETOOLONG = detail::Code(0x800700CEu);
inline constexpr HResult MAPI_E_CORRUPT_DATA = detail::Code(0x8004011Bu);

constexpr bool Succeeded(HResult result) {
  return result >= 0;
}
constexpr bool Failed(HResult result) {
  return result < 0;
}

// A failure as the conversion report words it.
constexpr std::u16string_view FailureText(HResult result) {
  switch (result) {
    case STG_E_MEDIUMFULL:
      return u"the destination disk is full";
    case STG_E_ACCESSDENIED:
      return u"the destination does not take the file";
    case STG_E_WRITEFAULT:
      return u"the file could not be written";
    case STG_E_FILEALREADYEXISTS:
      return u"a file of that name is already there";
    case STG_E_PATHNOTFOUND:
    case STG_E_FILENOTFOUND:
      return u"a file the conversion needs is missing";
    case E_FILENAMETOOLONG:
      return u"the path is too long for the file system";
    case E_OUTOFMEMORY:
      return u"out of memory";
    case REGDB_E_CLASSNOTREG:
      return u"a conversion component is not available";
    default:
      return u"a conversion component failed";
  }
}

}  // namespace bm
