// Whole-file reads and writes for the components: the file layer's (base/file_bytes.h), with
// failures as the components' results.
#pragma once

#include <filesystem>
#include <string_view>

#include "base/file_bytes.h"
#include "msg/hresult.h"

namespace bm {

// The component result for a failed file operation's errno.
HResult ResultOfErrno(int error);

// Writes `bytes` through WriteFileAtomically, so `path` is never seen half written and a
// failed write leaves the old file (or none). Mapped failures: STG_E_PATHNOTFOUND,
// STG_E_ACCESSDENIED, STG_E_MEDIUMFULL, STG_E_FILEALREADYEXISTS, STG_E_WRITEFAULT and
// E_FILENAMETOOLONG (a name longer than the file system takes).
// `mode` is the new file's permissions (less the umask): kPrivateFileMode for the run's
// working files, kOutputFileMode for what the user keeps. The file is never written through
// a link.
HResult WriteFileBytes(const std::filesystem::path& path, std::string_view bytes,
                       ExistingFile existing = ExistingFile::kReplace,
                       mode_t mode = kOutputFileMode);

}  // namespace bm
