#include "SecretStore.h"

#include "AccountName.h"
#include "SmbUrl.h"

namespace quorvane {

namespace {

// One entry: "user@server", a line feed, the password. The account goes with the password so
// that it is never offered to another server or user.
std::string accountKey(const std::string& user, const std::string& server) {
    std::string key = user + "@" + server;
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return key;
}

}  // namespace

std::optional<std::string> keptPasswordFor(SecretStore* store, const std::string& user,
                                           const std::string& server) {
    if (store == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> entry = store->read();
    if (!entry) {
        return std::nullopt;
    }
    const std::string prefix = accountKey(user, server) + "\n";
    std::optional<std::string> password;
    if (entry->compare(0, prefix.size(), prefix) == 0 && entry->size() > prefix.size()) {
        password = entry->substr(prefix.size());
    }
    wipeSecret(*entry);
    return password;
}

std::optional<KeptAccount> keptAccount(SecretStore* store) {
    std::optional<std::string> entry = store ? store->read() : std::nullopt;
    if (!entry) {
        return std::nullopt;
    }
    const size_t lineEnd = entry->find('\n');
    const size_t at = entry->rfind('@', lineEnd);
    std::optional<KeptAccount> account;
    if (lineEnd != std::string::npos && at != std::string::npos && at > 0 && at + 1 < lineEnd &&
        lineEnd + 1 < entry->size()) {
        account = KeptAccount{entry->substr(0, at), entry->substr(at + 1, lineEnd - at - 1)};
    }
    wipeSecret(*entry);
    return account;
}

std::optional<std::string> keepPasswordOfLogon(SecretStore* store, const std::string& serverText,
                                               const std::string& typedUser,
                                               const std::string& password, bool remember,
                                               const WorkflowResult& result) {
    if (store == nullptr) {
        return remember && !password.empty()
                   ? std::optional<std::string>("This build cannot keep passwords.")
                   : std::nullopt;
    }
    if (!remember || result.password == WorkflowResult::Password::Refused) {
        store->remove();
        return std::nullopt;
    }
    const std::optional<AccountName> account = parseAccountName(typedUser);
    if (password.empty() || result.password != WorkflowResult::Password::Taken || !account) {
        return std::nullopt;
    }
    std::string entry = accountKey(account->user, serverHostFromText(serverText)) + "\n" + password;
    std::string problem;
    const bool kept = store->write(entry, &problem);
    wipeSecret(entry);
    if (kept) {
        return std::nullopt;
    }
    return "The password could not be kept in the desktop's secret store" +
           (problem.empty() ? std::string(".") : ": " + problem + ".");
}

void forgetKeptPassword(SecretStore* store) {
    if (store != nullptr) {
        store->remove();
    }
}

void wipeSecret(char* bytes, size_t size) {
    volatile char* cursor = bytes;
    for (size_t i = 0; i < size; ++i) {
        cursor[i] = 0;
    }
}

}  // namespace quorvane
