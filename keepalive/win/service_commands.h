// The service's command-line actions. Failures end the action silently; the
// program's exit code stays 0 either way.
#pragma once

namespace keepalive {

void InstallService();
void StartInstalledService();
// Stops the service (waiting, bounded, while it reports stop-pending) and deletes it.
void RemoveService();

}  // namespace keepalive
