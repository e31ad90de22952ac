// A mount with the user's Kerberos ticket and no password, whole logons with the Windows
// name forms and with the ticket alone, and a ticket that runs out while mounted, against a Samba
// AD domain controller provisioned for the test in network and mount namespaces of its own
// (tests/tools/kerberos-domain.sh). The mounts live in those namespaces only.
#include <gtest/gtest.h>
#include <unistd.h>

#include <iostream>
#include <map>
#include <sstream>

#include "TestDomain.h"
#include "ToolProcess.h"

namespace quorvane::testing {
namespace {

using namespace std::chrono_literals;

// Empty when a domain controller can run here; otherwise what is missing.
std::string whyNoDomainController() {
    if (::geteuid() != 0) {
        return "a network namespace of its own needs root";
    }
    for (const char* program : {"samba-tool", "samba", "kinit", "klist", "unshare", "ip"}) {
        if (tools::findProgram(program).empty() &&
            ::access((std::string("/usr/sbin/") + program).c_str(), X_OK) != 0) {
            return std::string(program) + " is not installed (scripts/install-deps.sh)";
        }
    }
    if (::access("/usr/share/samba/setup", R_OK) != 0) {
        return "samba-ad-provision is not installed (scripts/install-deps.sh)";
    }
    return whyNoRealMounts();
}

TEST(KerberosMount, UsesTheTicketWhenThereIsNoPassword) {
    SKIP_IF_MISSING(whyNoDomainController());
    const std::string noDesktop = whyNoDesktop();
    if (!noDesktop.empty() && underCi()) {
        ADD_FAILURE() << "CI must start the program at a desktop login, but " << noDesktop;
    }
    // Its mounts live in namespaces that are gone when the script ends.
    const ProgramRun run =
        runScriptInTempFolder("tests/tools/kerberos-domain.sh", "quorvane-kerberos",
                              {toolsFolder(), buildFolder() + "/bin/quorvane-cli",
                               noDesktop.empty() ? buildFolder() + "/bin/quorvane" : std::string()},
                              900s);
    std::map<std::string, std::string> result = keyValues(run.out());
    const std::string context = run.out() + run.err();

    // Without a ticket and without a password: a refused logon, with the way out.
    EXPECT_EQ(result.count("error"), 0u) << context;
    EXPECT_EQ(result["without-ticket-status"], "4") << context;
    EXPECT_NE(result["without-ticket-error"].find("run kinit"), std::string::npos) << context;
    // Outside the account's logon hours: not a wrong password (status 4), and said so.
    EXPECT_EQ(result["outside-hours-status"], "1") << context;
    EXPECT_NE(result["outside-hours-error"].find("logon hours"), std::string::npos) << context;
    EXPECT_EQ(result["outside-hours-wrong-password-status"], "4") << context;
    EXPECT_EQ(result["within-hours-status"], "0") << context;
    EXPECT_NE(result["closed-hours-status"].find("(server not answering)"), std::string::npos)
        << context;
    // A call that must log on again then fails, not after a call's whole bound of retries.
    EXPECT_EQ(result["closed-hours-read-status"], "1") << context;
    EXPECT_NE(result["closed-hours-read-error"].find("Permission denied"), std::string::npos)
        << context;
    EXPECT_LT(std::stoi("0" + result["closed-hours-read-seconds"]), 15) << context;
    EXPECT_EQ(result["reopened-hours-read"], "Welcome to the domain") << context;
    // A ticket too close to its end: refused, and said so.
    EXPECT_EQ(result["short-ticket-status"], "4") << context;
    EXPECT_NE(result["short-ticket-error"].find("last minutes"), std::string::npos) << context;
    EXPECT_NE(result["short-ticket-error"].find("run kinit"), std::string::npos) << context;
    // With a ticket: mounted, readable, named without a password, released.
    EXPECT_EQ(result["with-ticket-status"], "0") << context;
    EXPECT_EQ(result["read"], "Welcome to the domain") << context;
    EXPECT_EQ(result["source"], "smb://administrator@dc1.qv.test/netlogon") << context;
    EXPECT_EQ(result["service-ticket"], "cifs/dc1.qv.test@QV.TEST") << context;
    EXPECT_EQ(result["umount-status"], "0") << context;

    // Whole logons of the command line: the home share "administrator" with its mac.bat,
    // netlogon's share map, the group share it gives; then a logout.
    const std::string finished = "Logon workflow finished. Shares mapped under ~/smbmounts/";
    // Windows name forms with the password; then the ticket alone, an empty password.
    for (const char* key : {"backslash", "upn", "ticket"}) {
        SCOPED_TRACE(key);
        const std::string k = key;
        EXPECT_EQ(result[k + "-status"], "0") << context;
        EXPECT_EQ(result[k + "-last"], finished) << context;
        EXPECT_EQ(result[k + "-shares"], "Public administrator ") << context;
        EXPECT_EQ(result[k + "-read"], "For everyone") << context;
        EXPECT_EQ(result[k + "-logout-status"], "0") << context;
    }
    EXPECT_EQ(result["ticket-first"],
              "Logging on with the Kerberos ticket of administrator@QV.TEST.")
        << context;
    // Without a ticket an empty password is bad usage, and says why.
    EXPECT_EQ(result["no-ticket-status"], "2") << context;
    EXPECT_NE(result["no-ticket-error"].find("no Kerberos ticket of administrator for dc1.qv.test"),
              std::string::npos)
        << context;
    EXPECT_EQ(result["no-ticket-shares"], "") << context;

    // At a desktop login with "Log on automatically", the ticket and no kept password: the
    // home and group shares with no input, told in a notice, no panel.
    if (noDesktop.empty()) {
        EXPECT_EQ(result["desk-MOUNTS"], "2") << context;
        EXPECT_EQ(result["desk-NOTICE"], "Logged on") << context;
        EXPECT_EQ(result["desk-PANEL"], "hidden") << context;
    }

    // A ticket that runs out while mounted: errors and the cause named, then kinit repairs.
    EXPECT_EQ(result["expiry-logon-status"], "0") << context;
    EXPECT_EQ(result["expiry-read-before"], "For everyone") << context;
    std::cout << "[ figures  ] a 150 s ticket: the share failed " << result["expiry-failed-after"]
              << " s after the logon" << std::endl;
    EXPECT_LT(std::stoi("0" + result["expiry-failed-after"]), 400) << context;
    EXPECT_NE(result["expiry-status"].find("(Kerberos ticket expired)"), std::string::npos)
        << context;
    EXPECT_EQ(result["expiry-read-after-kinit"], "For everyone") << context;
    EXPECT_EQ(result["expiry-logout-status"], "0") << context;
}

}  // namespace
}  // namespace quorvane::testing
