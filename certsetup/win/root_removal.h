// The suite's roots taken out of the local machine's "ROOT" store.
#pragma once

namespace seal {

// Removes every root of the store that this program made (seal::IsSuiteRoot)
// and nothing else. The count removed, or -1 when the store could not be
// opened or a root could not be removed.
int RemoveSuiteRoots();

}  // namespace seal
