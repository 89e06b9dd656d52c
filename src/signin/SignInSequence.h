#pragma once

#include <string>

namespace dravik {

class Launcher;

// What the sign-in worker came to.
struct SignInResult {
    enum class Kind {
        SignedIn,              // go on to the exhibition data sync
        ContinueWithoutSignIn, // the visitor chose "Cancel" after a failed sign-in
        Retry,                 // the visitor chose "OK" after a failed sign-in: inputs back on
        Failed,                // show text, inputs back on
        SaveFailed,            // already reported; the inputs stay off
    };
    Kind kind = Kind::Failed;
    std::string text;
};

// The sign-in sequence on a worker thread: forget the previous Start's sign-in state, sign in,
// check the code and the e-mail address and store both. Alerts it needs block the worker (the
// visitor answers on the main thread).
SignInResult runSignInSequence(Launcher& launcher, const std::string& inviteCode,
                               const std::string& email);

} // namespace dravik
