#include "convert/file_bytes.h"

#include <glib.h>

#include <fstream>
#include <iterator>
#include <system_error>

#include "base/text.h"
#include "convert/glib_ptr.h"

namespace bm {

namespace {

HResult ResultOfFileError(const GError* error) {
  if (error == nullptr || error->domain != G_FILE_ERROR) return STG_E_WRITEFAULT;
  switch (error->code) {
    case G_FILE_ERROR_NOENT:
    case G_FILE_ERROR_NOTDIR:
    case G_FILE_ERROR_NAMETOOLONG:
      return STG_E_PATHNOTFOUND;
    case G_FILE_ERROR_ACCES:
    case G_FILE_ERROR_PERM:
    case G_FILE_ERROR_ROFS:
      return STG_E_ACCESSDENIED;
    case G_FILE_ERROR_NOSPC:
      return STG_E_MEDIUMFULL;
    default:
      return STG_E_WRITEFAULT;
  }
}

}  // namespace

std::string GlibFileName(const std::filesystem::path& path) {
#ifdef _WIN32
  return ToUtf8(path.u16string());
#else
  return path.native();
#endif
}

std::optional<std::string> ReadFileBytes(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  return bytes;
}

HResult WriteFileBytes(const std::filesystem::path& path, std::string_view bytes) {
  const std::string name = GlibFileName(path);
  GError* raw_error = nullptr;
  const bool stored =
      g_file_set_contents_full(name.c_str(), bytes.data(), static_cast<gssize>(bytes.size()),
                               G_FILE_SET_CONTENTS_CONSISTENT, 0666, &raw_error);
  const GErrorPtr error(raw_error);
  return stored ? S_OK : ResultOfFileError(error.get());
}

}  // namespace bm
