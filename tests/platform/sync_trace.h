// Records the calls of fsync and rename that the code under test makes, in
// their order. The test program defines both functions, which call the
// system's own and note what they did: the saves run for real, and the
// test reads back which files and folders were synced and when.
#pragma once

#include <string>
#include <vector>

namespace tabulor::platform_test {

// "fsync PATH" (PATH the synced file's or folder's name at the time) and
// "rename FROM TO" for each successful call since StartSyncTrace().
void StartSyncTrace();
std::vector<std::string> StopSyncTrace();

}  // namespace tabulor::platform_test
