// The URL watcher thread of the X edition: the packet monitor library loaded
// from its fixed place, its reports turned into broadcasts to the requesters.
#pragma once

namespace kestra {

// Starts the thread unless the system support is outdated; it ends once the
// stop flag is set.
void StartUrlWatcher();

}  // namespace kestra
