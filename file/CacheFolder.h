#pragma once

#include <QString>

// The user's cache folder for this program (~/.cache/mornwicks/qnVelTor
// under the names the application gives itself), made when missing: where
// an in-place save keeps the copy of the old file, and where unsaved work
// is kept for a start after a crash. Empty when there is none.
QString CacheFolder();
