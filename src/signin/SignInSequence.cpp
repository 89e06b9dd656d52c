#include "signin/SignInSequence.h"

#include "common/Launcher.h"
#include "common/UserFile.h"
#include "platform/Alerts.h"
#include "service/ServiceClient.h"
#include "service/VersionRules.h"

namespace dravik {

SignInResult runSignInSequence(Launcher& launcher, const std::string& inviteCode,
                               const std::string& email) {
    using Kind = SignInResult::Kind;
    // A failed check must not leave an earlier Start's token or hall behind.
    launcher.clearSignInState();
    ServiceClient client(launcher);
    if (Status signedIn = client.signIn(); !signedIn) {
        if (!launcher.localVersion || isNotInstalledMarker(*launcher.localVersion))
            return {Kind::Failed, signedIn.error()};
        launcher.writeLog(signedIn.error());
        bool retry = launcher.platform.alerts.criticalOkCancel(signedIn.error());
        return {retry ? Kind::Retry : Kind::ContinueWithoutSignIn, {}};
    }
    Status checked = client.verifyInvitation(inviteCode);
    if (checked)
        checked = client.verifyEmail(email);
    if (!checked)
        return {Kind::Failed, checked.error()};

    UserFile users(launcher);
    QZ_USER user = users.loadUser();
    user.invitecode = inviteCode;
    user.email = email;
    if (Status saved = users.saveUser(user); !saved) {
        showAlertAndWait(launcher, "招待コードとメールアドレスの保存\n\n" + saved.error());
        return {Kind::SaveFailed, {}};
    }
    return {Kind::SignedIn, {}};
}

} // namespace dravik
