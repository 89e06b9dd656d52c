#pragma once

#include "base/Expected.h"

namespace dravik {

// Makes the system's libcurl verify servers the way the system does: through Secure Transport,
// against the Keychain's trust settings (the authorities an organisation installs included),
// rather than through its LibreSSL and the certificate file that comes with the system. Must run
// before libcurl is first used. A failure's text is a run-log line saying why it was not done.
Status useSystemTrust();

} // namespace dravik
