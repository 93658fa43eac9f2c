#include "msg/file_bytes.h"

#include <cerrno>

namespace bm {

HResult ResultOfErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
      return STG_E_PATHNOTFOUND;
    case ENAMETOOLONG:
      return E_FILENAMETOOLONG;
    case EACCES:
    case EPERM:
    case EROFS:
      return STG_E_ACCESSDENIED;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return STG_E_MEDIUMFULL;
    case EEXIST:
      return STG_E_FILEALREADYEXISTS;
    default:
      return STG_E_WRITEFAULT;
  }
}

HResult WriteFileBytes(const std::filesystem::path& path, std::string_view bytes,
                       ExistingFile existing, mode_t mode) {
  if (path.empty() || !path.has_filename()) return STG_E_PATHNOTFOUND;
  const Status written = WriteFileAtomically(path, bytes, existing, mode);
  return written ? S_OK : ResultOfErrno(written.error().system_error());
}

}  // namespace bm
