#pragma once

#include <QString>

#include <string>

namespace kestrane {

// The path as Qt takes it. Qt holds file names as Unicode and encodes them as UTF-8: a path whose
// bytes are not valid UTF-8 cannot be named through Qt (its bytes would be replaced, naming another
// file), so it gives an empty QString, which no file operation accepts.
QString to_qpath(const std::string& path);
// Whether the path's bytes are valid UTF-8, that is whether to_qpath can name it.
bool is_representable_path(const std::string& path);

bool path_exists(const std::string& path);
bool is_directory(const std::string& path);
bool is_regular_file(const std::string& path);
bool remove_file(const std::string& path);
// Whether an output may be put at the path: nothing is there (a link that leads nowhere too), or a
// regular file, also through a symbolic link. A device, a FIFO, a socket or a directory is not
// replaced by a file. A path Qt cannot name is left to the writer, which fails on it.
bool replaceable_by_file(const std::string& path);

} // namespace kestrane
