#pragma once

#include <QString>

// The local path of a stored file: the repository folder and the client file name the
// server gives, whose "\" and "/" both separate sub-folders. A name that is absolute,
// names a drive, climbs out of the repository with "..", holds a NUL character or names
// a folder rather than a file is refused with EInOutError, so that nothing is ever
// written outside the repository.
QString QiraLocalPath(const QString &repository, const QString &clientName);
