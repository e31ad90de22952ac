#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

#include "Workflows.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace quorvane {

class BusyIndicator;
class StatusLine;
struct ResultPort;

/// The logon panel: server, user name and password fields, a status line, and the Logout and
/// Logon buttons. The workflows run on a worker thread; their messages come back to the GUI
/// thread and alone decide whether the user is logged on.
class ContentView : public QWidget {
    Q_OBJECT

public:
    enum class Field { server, username, password };

    /// The panel's size at the default font; a larger font or scale makes it grow.
    static constexpr int kWidth = 400;
    static constexpr int kHeight = 280;
    static constexpr int kPopoverCloseDelayMs = 1500;

    /// Used while "savedServerAddress" has never been written: the usual name of a domain's
    /// first file server.
    static inline const QString kDefaultServerAddress = QStringLiteral("FS1");

    // The status line's fixed texts, as an English desk shows them; other desks see them
    // translated.
    static inline const QString kReady = QStringLiteral("Ready");
    static inline const QString kLogonRunning =
        QStringLiteral("Processing Network Logon Workflows...");
    static inline const QString kLogoutRunning =
        QStringLiteral("Logging out and disconnecting shares...");

    explicit ContentView(Workflows workflows, QWidget* parent = nullptr);
    ~ContentView() override;

    QString storedServerAddress() const { return storedServerAddress_; }
    QString serverInput() const;
    QString username() const;
    QString password() const;
    /// The user asked for the password to be kept in the desktop's secret store.
    bool remembersPassword() const;
    QString statusMessage() const { return statusMessage_; }
    bool isLoading() const { return isLoading_; }
    /// True while the running workflow is a logout.
    bool isLoggingOut() const { return isLoggingOut_; }
    bool isLoggedIn() const { return isLoggedIn_; }

    std::optional<Field> focusedField() const;
    void setFocusedField(std::optional<Field> field);

    bool canStartLogon() const;
    /// The user's Kerberos ticket when it can stand in for the password of the logon that the
    /// fields describe.
    std::optional<KerberosTicket> servingTicket() const;
    void startLogon();
    void finishLogon(const WorkflowResult& result);
    /// The logon at the desktop's login: the saved server and user, the Kerberos ticket or the
    /// kept password, nothing typed. It ends as a logon does; when it needs the user (nothing
    /// to log on with, or the kept password refused) the panel asks and `userNeeded` follows.
    void startAutoLogon();
    /// The option "Log on automatically", as the user settings hold it.
    bool logsOnAutomatically() const;
    void startLogout();
    void finishLogout(const WorkflowResult& result);
    /// What the ticket lister found, handed back to the GUI thread.
    void ticketFound(const std::optional<KerberosTicket>& ticket);
    /// While logged on with some shares broken, Logon reconnects them instead.
    void setHasBrokenShares(bool broken);
    bool hasBrokenShares() const { return hasBrokenShares_; }
    /// A reconnect released nothing for want of a password the server takes: the password
    /// field is open while logged on, and Logon reconnects with what is typed there.
    bool needsPassword() const { return needsPassword_; }
    void startReconnect();
    void finishReconnect(const WorkflowResult& result);
    /// Stops a running logon or reconnect (Escape, or Cancel in place of Logon); its tool
    /// takes back a half-made mount, and what was mounted before stays mounted.
    void cancelLogon();
    /// Whether the mount root holds mounted shares, also from an earlier run: Logout is then
    /// at hand even while logged off.
    void setHasMountedShares(bool mounted);
    bool hasMountedShares() const { return hasMountedShares_; }
    void closePopoverIfShown();
    /// Asks a running workflow to end its tool and stop (quitting, end of the session).
    void stopWorkflow();

    /// The window that hosts this panel and that a successful logon closes; none when the panel
    /// is shown as an ordinary window.
    void setPopover(QWidget* popover) { popover_ = popover; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    /// `isLoading` or `isLoggedIn` may have changed.
    void stateChanged();
    /// A workflow's message has come back and the panel has taken it in.
    void logonFinished(const quorvane::WorkflowResult& result);
    void logoutFinished(const quorvane::WorkflowResult& result);
    void reconnectFinished(const quorvane::WorkflowResult& result);
    /// A logon without typing could not go on without the user: the panel asks.
    void userNeeded();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout();
    void appear();
    void serverEdited(const QString& text);
    void submitPassword();
    void render();
    void renderLogonButton();
    void fitToFont();
    int placeholderMargins() const;
    void renderPlaceholder(const std::optional<KerberosTicket>& ticket);
    void applyColours();
    void logonButtonClicked();
    bool canCancel() const;
    void focusCancel();
    void lookUpTicket();
    QLineEdit* fieldWidget(Field field) const;

    Workflows workflows_;
    std::shared_ptr<ResultPort> resultPort_;
    QPointer<QWidget> popover_;

    QString storedServerAddress_;
    QString statusMessage_;
    bool isLoading_ = false;
    bool isLoggingOut_ = false;
    bool isLoggedIn_ = false;
    bool hasMountedShares_ = false;
    std::optional<KerberosTicket> ticket_;
    bool hasBrokenShares_ = false;
    bool needsPassword_ = false;
    bool cancelling_ = false;
    bool autoLogonRunning_ = false;
    bool askingPassword_ = false;  // the next showing puts the focus in the password field
    QString logonButtonStyle_;

    QLabel* logo_ = nullptr;
    QLabel* title_ = nullptr;
    QToolButton* quitButton_ = nullptr;
    QLineEdit* serverField_ = nullptr;
    QLineEdit* usernameField_ = nullptr;
    QLineEdit* passwordField_ = nullptr;
    QCheckBox* rememberBox_ = nullptr;
    QCheckBox* autoLogonBox_ = nullptr;
    StatusLine* statusLine_ = nullptr;
    QPushButton* logoutButton_ = nullptr;
    QPushButton* logonButton_ = nullptr;
    BusyIndicator* busyIndicator_ = nullptr;
};

}  // namespace quorvane
