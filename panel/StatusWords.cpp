#include "StatusWords.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <functional>
#include <vector>

namespace quorvane {

namespace {

// The context under which translators find these texts.
struct StatusTexts {
    Q_DECLARE_TR_FUNCTIONS(StatusWords)
};

using Words = std::function<QString(const QRegularExpressionMatch&)>;

struct Rule {
    QRegularExpression pattern;
    Words words;
};

int number(const QRegularExpressionMatch& match, int group) {
    return match.captured(group).toInt();
}

// A fixed sentence without parts of its own.
Rule fixed(const char* english, const QString& shown) {
    return {QRegularExpression(QRegularExpression::escape(QLatin1String(english))),
            [shown](const QRegularExpressionMatch&) { return shown; }};
}

// The sentences of the engine's messages, each matched where the last one ended. A "...: "
// opening leaves its cause to the next sentence.
std::vector<Rule> makeRules() {
    std::vector<Rule> rules{
        fixed("Logon workflow finished. Shares mapped under ~/smbmounts/",
              StatusTexts::tr("Logon workflow finished. Shares mapped under ~/smbmounts/")),
        fixed("Logon stopped. Shares mounted before stay mounted.",
              StatusTexts::tr("Logon stopped. Shares mounted before stay mounted.")),
        fixed("Every mounted share works; nothing to reconnect.",
              StatusTexts::tr("Every mounted share works; nothing to reconnect.")),
        fixed(
            "Another logon or logout is running. Try again once it has finished.",
            StatusTexts::tr("Another logon or logout is running. Try again once it has finished.")),
        fixed("Failed to mount initial user home directory.",
              StatusTexts::tr("Failed to mount initial user home directory.")),
        fixed("Home mounted, but failed to read or find groups in mac.bat.",
              StatusTexts::tr("Home mounted, but failed to read or find groups in mac.bat.")),
        fixed("User home mapped, but failed to connect to Netlogon share.",
              StatusTexts::tr("User home mapped, but failed to connect to Netlogon share.")),
        fixed("Failed to create base ~/smbmounts folder: ",
              StatusTexts::tr("Failed to create base ~/smbmounts folder: ")),
        fixed("Error while disconnecting: ", StatusTexts::tr("Error while disconnecting: ")),
        fixed("All shares are already disconnected.",
              StatusTexts::tr("All shares are already disconnected.")),
        fixed("No shares mapped (smbmounts folder not found).",
              StatusTexts::tr("No shares mapped (smbmounts folder not found).")),
        fixed("The share map shares.ini could not be read: ",
              StatusTexts::tr("The share map shares.ini could not be read: ")),
        fixed("Could not reconnect: ", StatusTexts::tr("Could not reconnect: ")),
        // The causes.
        fixed("Wrong user name or password.", StatusTexts::tr("Wrong user name or password.")),
        fixed("The share is unknown or not allowed.",
              StatusTexts::tr("The share is unknown or not allowed.")),
        fixed("The server was not found or is not answering.",
              StatusTexts::tr("The server was not found or is not answering.")),
        fixed("FUSE is not permitted on this computer.",
              StatusTexts::tr("FUSE is not permitted on this computer.")),
        fixed("The mount point is in use or not empty.",
              StatusTexts::tr("The mount point is in use or not empty.")),
        fixed("Stopped on request.", StatusTexts::tr("Stopped on request.")),
        fixed("The server has no share of this name.",
              StatusTexts::tr("The server has no share of this name.")),
        fixed("Its name cannot stand as a folder in ~/smbmounts.",
              StatusTexts::tr("Its name cannot stand as a folder in ~/smbmounts.")),
        fixed("The share mounted there is not answering.",
              StatusTexts::tr("The share mounted there is not answering.")),
        fixed("Another user's file or folder stands in its place.",
              StatusTexts::tr("Another user's file or folder stands in its place.")),
        fixed("A mount there no longer answers and could not be released.",
              StatusTexts::tr("A mount there no longer answers and could not be released.")),
        fixed("The file is missing.", StatusTexts::tr("The file is missing.")),
        fixed("The file is not UTF-8 text.", StatusTexts::tr("The file is not UTF-8 text.")),
        fixed("The file cannot be read: ", StatusTexts::tr("The file cannot be read: ")),
    };
    const auto add = [&rules](const char* pattern, Words words) {
        rules.push_back({QRegularExpression(QLatin1String(pattern)), std::move(words)});
    };
    add(R"(Successfully disconnected (\d+) drive\(s\)\.)", [](const auto& m) {
        // An English desk keeps the fixed text; the others word the count in their language.
        const QString english = QStringLiteral("Successfully disconnected 1 share.");
        if (StatusTexts::tr("Successfully disconnected 1 share.") == english) {
            return m.captured(0);
        }
        return number(m, 1) == 1
                   ? StatusTexts::tr("Successfully disconnected 1 share.")
                   : StatusTexts::tr("Successfully disconnected %1 shares.").arg(m.captured(1));
    });
    add(R"(Away from (.+): shares will come back when the network does)", [](const auto& m) {
        return StatusTexts::tr("Away from %1: shares will come back when the network does")
            .arg(m.captured(1));
    });
    add(R"(Reconnected (\d+) share\(s\)\.)", [](const auto& m) {
        return StatusTexts::tr("Reconnected %n share(s).", nullptr, number(m, 1));
    });
    add(R"(Disconnected (\d+) of (\d+) shares?(?:; still in use: (.*?))?)"
        R"((?:; no answer within (\S+): (.*?))?\.$)",
        [](const auto& m) {
            QString words = number(m, 2) == 1
                                ? StatusTexts::tr("Disconnected %1 of 1 share").arg(m.captured(1))
                                : StatusTexts::tr("Disconnected %1 of %2 shares")
                                      .arg(m.captured(1), m.captured(2));
            if (m.capturedLength(3) > 0) {
                words += StatusTexts::tr("; still in use: %1").arg(m.captured(3));
            }
            if (m.capturedLength(5) > 0) {
                words +=
                    StatusTexts::tr("; no answer within %1: %2").arg(m.captured(4), m.captured(5));
            }
            return words + QLatin1Char('.');
        });
    add(R"(Not mounted: (.*?)\.(?= |$))",
        [](const auto& m) { return StatusTexts::tr("Not mounted: %1.").arg(m.captured(1)); });
    add(R"(Not on the server: (.*?)\.(?= |$))",
        [](const auto& m) { return StatusTexts::tr("Not on the server: %1.").arg(m.captured(1)); });
    add(R"(Not tried, beyond (\d+) group shares per logon: (.*?)\.(?= |$))", [](const auto& m) {
        return StatusTexts::tr("Not tried, beyond %1 group shares per logon: %2.")
            .arg(m.captured(1), m.captured(2));
    });
    add(R"(Shares of user (.*) are still mounted under ~/smbmounts/\. Log out first, then log on again\.)",
        [](const auto& m) {
            return StatusTexts::tr(
                       "Shares of user %1 are still mounted under ~/smbmounts/. Log out first, "
                       "then log on again.")
                .arg(m.captured(1));
        });
    add(R"re(The user name "(.*)" is not of the form NAME, DOMAIN\\NAME or NAME@DOMAIN\.)re",
        [](const auto& m) {
            return StatusTexts::tr(
                       "The user name \"%1\" is not of the form NAME, DOMAIN\\NAME or "
                       "NAME@DOMAIN.")
                .arg(m.captured(1));
        });
    add(R"re(The user name "(.*)" cannot stand as a folder in ~/smbmounts\.)re", [](const auto& m) {
        return StatusTexts::tr("The user name \"%1\" cannot stand as a folder in ~/smbmounts.")
            .arg(m.captured(1));
    });
    add(R"(The mount tool could not be started \((.*)\); install or repair Quorvane\.)",
        [](const auto& m) {
            return StatusTexts::tr(
                       "The mount tool could not be started (%1); install or repair Quorvane.")
                .arg(m.captured(1));
        });
    add(R"(The mount tool ended abnormally \(signal (\d+)\)\.)", [](const auto& m) {
        return StatusTexts::tr("The mount tool ended abnormally (signal %1).").arg(m.captured(1));
    });
    add(R"(The mount tool failed \(exit status (\d+)\)\.)", [](const auto& m) {
        return StatusTexts::tr("The mount tool failed (exit status %1).").arg(m.captured(1));
    });
    // A socket error's name, as a tool passes it on, says only that the server is not
    // answering.
    add(R"((?:[^.]*: )?(?:[Tt]he server is not answering|Network dropped connection on reset|)"
        R"(Connection reset by peer|)"
        R"(Connection refused|Connection timed out|No route to host|Network is unreachable|)"
        R"(Network is down|Host is down|Broken pipe|Software caused connection abort|)"
        R"(Connection aborted|Timer expired|Operation timed out)\.?)",
        [](const auto&) { return StatusTexts::tr("The server is not answering."); });
    return rules;
}

}  // namespace

QString statusWords(const QString& message) {
    // Built on each call: the words follow the translator installed at the time.
    const std::vector<Rule> rules = makeRules();
    QStringList sentences;
    qsizetype at = 0;
    while (at < message.size()) {
        bool matched = false;
        for (const Rule& rule : rules) {
            const QRegularExpressionMatch match =
                rule.pattern.match(message, at, QRegularExpression::NormalMatch,
                                   QRegularExpression::AnchorAtOffsetMatchOption);
            if (match.hasMatch() && match.capturedLength() > 0) {
                sentences << rule.words(match);
                at = match.capturedEnd();
                matched = true;
                break;
            }
        }
        if (!matched) {
            sentences << message.mid(at);  // a server's or a tool's own words
            break;
        }
        while (at < message.size() && message[at] == QLatin1Char(' ')) {
            ++at;
        }
    }
    // A "...: " opening ends in its space already.
    QString words;
    for (const QString& sentence : sentences) {
        if (!words.isEmpty() && !words.endsWith(QLatin1Char(' '))) {
            words += QLatin1Char(' ');
        }
        words += sentence;
    }
    return words;
}

QString conditionWords(ShareCondition condition) {
    switch (condition) {
        case ShareCondition::Answering:
            return StatusTexts::tr("answering");
        case ShareCondition::ServerNotAnswering:
            return StatusTexts::tr("server not answering");
        case ShareCondition::PasswordRejected:
            return StatusTexts::tr("password no longer accepted");
        case ShareCondition::TicketExpired:
            return StatusTexts::tr("Kerberos ticket expired");
        case ShareCondition::ShareUnavailable:
            return StatusTexts::tr("share no longer available");
        case ShareCondition::MountGone:
            return StatusTexts::tr("disconnected");
        case ShareCondition::MountStuck:
            return StatusTexts::tr("mount stopped");
        case ShareCondition::NotAMount:
            return StatusTexts::tr("not mounted");
        case ShareCondition::Unknown:
            return StatusTexts::tr("cannot be checked");
    }
    return QString::fromStdString(describe(condition));
}

}  // namespace quorvane
