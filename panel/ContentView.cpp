#include "ContentView.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QInputMethodQueryEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QShowEvent>
#include <QThreadPool>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>
#include <mutex>

#include <AccountName.h>
#include <SMBManager.h>
#include <SmbUrl.h>

#include "Artwork.h"
#include "BusyIndicator.h"
#include "PanelPlatform.h"
#include "StatusLine.h"

namespace quorvane {

namespace {

const QString kServerKey = QStringLiteral("savedServerAddress");
const QString kRememberKey = QStringLiteral("rememberPassword");

constexpr int kRowSpacing = 15;
constexpr int kHeaderSpacing = 12;
constexpr int kHeaderTopSpace = 12;
constexpr int kLogoSide = 64;
constexpr int kLogoLeadingSpace = 15;
constexpr int kQuitTrailingSpace = 15;
constexpr int kButtonSpacing = 20;
constexpr int kButtonRowBottomSpace = 12;
// The toolkit's default padding, used as the horizontal inset of the form and status line.
constexpr int kDefaultPadding = 16;
constexpr int kFormRowSpacing = 6;
constexpr int kButtonMinWidth = 96;
constexpr int kQuitIconSide = 20;

// A line edit that tells the input method which label the Return key should carry.
class FormField : public QLineEdit {
public:
    FormField(Qt::EnterKeyType enterKey, QWidget* parent)
        : QLineEdit(parent), enterKey_(enterKey) {}

    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override {
        if (query == Qt::ImEnterKeyType) {
            return enterKey_;
        }
        return QLineEdit::inputMethodQuery(query);
    }

private:
    Qt::EnterKeyType enterKey_;
};

QFont scaledFont(const QFont& base, qreal factor, bool bold) {
    QFont font = base;
    if (font.pointSizeF() > 0) {
        font.setPointSizeF(qMax<qreal>(7, font.pointSizeF() * factor));
    } else if (font.pixelSize() > 0) {
        font.setPixelSize(qMax(9, qRound(font.pixelSize() * factor)));
    }
    font.setBold(bold);
    return font;
}

QString messageOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QStringLiteral("Unexpected error: %1").arg(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return QStringLiteral("Unexpected error.");
    }
}

}  // namespace

// Where a worker hands its message back. The panel clears `receiver` when it is destroyed;
// the worker posts under the same lock, so it never posts to a panel that is being torn down,
// and a message posted just before that is dropped with the panel's pending events.
struct ResultPort {
    std::mutex mutex;
    ContentView* receiver = nullptr;
};

namespace {

void runOffGuiThread(const std::shared_ptr<ResultPort>& port, std::function<WorkflowResult()> work,
                     void (ContentView::*finish)(const WorkflowResult&)) {
    QThreadPool::globalInstance()->start([port, work = std::move(work), finish] {
        WorkflowResult result;
        try {
            result = work();
        } catch (...) {
            // A workflow reports by its result; should one throw all the same, the panel
            // must still leave its busy state.
            result.outcome = Outcome::Failed;
            result.message = messageOf(std::current_exception()).toStdString();
        }
        std::lock_guard<std::mutex> lock(port->mutex);
        if (ContentView* view = port->receiver) {
            QMetaObject::invokeMethod(
                view, [view, finish, result] { (view->*finish)(result); }, Qt::QueuedConnection);
        }
    });
}

// The ticket lister runs off the GUI thread too: it starts processes and reads a cache that
// may lie on a network folder.
void findTicketOffGuiThread(const std::shared_ptr<ResultPort>& port,
                            std::function<std::optional<KerberosTicket>()> find) {
    QThreadPool::globalInstance()->start([port, find = std::move(find)] {
        std::optional<KerberosTicket> ticket;
        try {
            ticket = find();
        } catch (...) {
            // No ticket then: the password field works as ever.
        }
        std::lock_guard<std::mutex> lock(port->mutex);
        if (ContentView* view = port->receiver) {
            QMetaObject::invokeMethod(
                view, [view, ticket] { view->ticketFound(ticket); }, Qt::QueuedConnection);
        }
    });
}

}  // namespace

ContentView::ContentView(Workflows workflows, QWidget* parent)
    : QWidget(parent),
      workflows_(std::move(workflows)),
      resultPort_(std::make_shared<ResultPort>()),
      statusMessage_(kReady) {
    resultPort_->receiver = this;
    const QSettings settings;
    storedServerAddress_ = settings.contains(kServerKey) ? settings.value(kServerKey).toString()
                                                         : kDefaultServerAddress;
    buildLayout();
    render();
}

ContentView::~ContentView() {
    std::lock_guard<std::mutex> lock(resultPort_->mutex);
    resultPort_->receiver = nullptr;
}

void ContentView::buildLayout() {
    setObjectName(QStringLiteral("contentView"));
    setFixedSize(kWidth, kHeight);

    logo_ = new QLabel(this);
    logo_->setObjectName(QStringLiteral("logo"));
    logo_->setFixedSize(kLogoSide, kLogoSide);
    logo_->setPixmap(
        artwork::pixmap(artwork::kAppLogo, QSize(kLogoSide, kLogoSide), devicePixelRatioF()));

    title_ = new QLabel(panelTitle(), this);
    title_->setObjectName(QStringLiteral("title"));
    title_->setTextFormat(Qt::PlainText);
    title_->setFont(scaledFont(font(), 1.15, true));

    quitButton_ = new QToolButton(this);
    quitButton_->setObjectName(QStringLiteral("quitButton"));
    quitButton_->setAutoRaise(true);
    quitButton_->setIcon(artwork::icon(artwork::kPower, devicePixelRatioF()));
    quitButton_->setIconSize(QSize(kQuitIconSide, kQuitIconSide));
    quitButton_->setToolTip(QStringLiteral("Quit Application"));
    quitButton_->setAccessibleName(QStringLiteral("Quit Application"));
    quitButton_->setCursor(Qt::PointingHandCursor);
    connect(quitButton_, &QToolButton::clicked, qApp, &QCoreApplication::quit);

    auto* header = new QHBoxLayout;
    header->setSpacing(kHeaderSpacing);
    header->setContentsMargins(kLogoLeadingSpace, kHeaderTopSpace, kQuitTrailingSpace, 0);
    header->addWidget(logo_, 0, Qt::AlignVCenter);
    header->addWidget(title_, 0, Qt::AlignVCenter);
    header->addStretch(1);
    header->addWidget(quitButton_, 0, Qt::AlignVCenter);

    serverField_ = new FormField(Qt::EnterKeyNext, this);
    serverField_->setObjectName(QStringLiteral("serverField"));
    usernameField_ = new FormField(Qt::EnterKeyNext, this);
    usernameField_->setObjectName(QStringLiteral("usernameField"));
    passwordField_ = new FormField(Qt::EnterKeyDone, this);
    passwordField_->setObjectName(QStringLiteral("passwordField"));
    passwordField_->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    form->setContentsMargins(kDefaultPadding, 0, kDefaultPadding, 0);
    form->setVerticalSpacing(kFormRowSpacing);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->addRow(QStringLiteral("Server IP or Name:"), serverField_);
    form->addRow(QStringLiteral("Username:"), usernameField_);
    form->addRow(QStringLiteral("Password:"), passwordField_);
    rememberBox_ = new QCheckBox(tr("Remember password"), this);
    rememberBox_->setObjectName(QStringLiteral("rememberPassword"));
    rememberBox_->setToolTip(
        tr("Keep the password in the desktop's secret store, so that "
           "Reconnect needs no typing"));
    rememberBox_->setChecked(QSettings().value(kRememberKey, false).toBool());
    connect(rememberBox_, &QCheckBox::toggled, this,
            [](bool checked) { QSettings().setValue(kRememberKey, checked); });
    form->addRow(QString(), rememberBox_);

    auto* divider = new QFrame(this);
    divider->setObjectName(QStringLiteral("divider"));
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    statusLine_ = new StatusLine(this);
    statusLine_->setObjectName(QStringLiteral("statusLine"));
    statusLine_->setFont(scaledFont(font(), 0.85, false));
    QPalette dimmed = statusLine_->palette();
    dimmed.setColor(QPalette::WindowText, dimmed.color(QPalette::PlaceholderText));
    statusLine_->setPalette(dimmed);
    auto* statusRow = new QHBoxLayout;
    statusRow->setContentsMargins(kDefaultPadding, 0, kDefaultPadding, 0);
    statusRow->addWidget(statusLine_);

    logoutButton_ = new QPushButton(QStringLiteral("Logout"), this);
    logoutButton_->setObjectName(QStringLiteral("logoutButton"));
    logonButton_ = new QPushButton(QStringLiteral("Logon"), this);
    logonButton_->setObjectName(QStringLiteral("logonButton"));
    for (QPushButton* button : {logoutButton_, logonButton_}) {
        button->setMinimumWidth(kButtonMinWidth);
        button->setAutoDefault(false);
    }
    // The emphasised, accent-filled button of the pair.
    logonButton_->setStyleSheet(QStringLiteral(
        "QPushButton { background-color: palette(highlight); color: palette(highlighted-text);"
        " border: 1px solid palette(highlight); border-radius: 5px; padding: 4px 12px; }"
        "QPushButton:pressed { background-color: palette(dark); }"
        "QPushButton:disabled { background-color: palette(midlight); color: palette(mid);"
        " border-color: palette(mid); }"));
    busyIndicator_ = new BusyIndicator(logonButton_);
    busyIndicator_->setObjectName(QStringLiteral("busyIndicator"));
    busyIndicator_->hide();
    // It turns inside the disabled button, whose fill is the palette's midlight.
    busyIndicator_->setBackdrop(palette().color(QPalette::Active, QPalette::Midlight));
    auto* logonContent = new QHBoxLayout(logonButton_);
    logonContent->setContentsMargins(0, 0, 0, 0);
    logonContent->addWidget(busyIndicator_, 0, Qt::AlignCenter);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(kButtonSpacing);
    buttons->setContentsMargins(0, 0, 0, kButtonRowBottomSpace);
    buttons->addStretch(1);
    buttons->addWidget(logoutButton_);
    buttons->addWidget(logonButton_);
    buttons->addStretch(1);

    auto* rows = new QVBoxLayout;
    rows->setSpacing(kRowSpacing);
    rows->addLayout(header);
    rows->addLayout(form);
    rows->addWidget(divider);
    rows->addLayout(statusRow);
    rows->addLayout(buttons);

    // The rows sit centred in the fixed frame.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addStretch(1);
    outer->addLayout(rows);
    outer->addStretch(1);

    setTabOrder(serverField_, usernameField_);
    setTabOrder(usernameField_, passwordField_);
    setTabOrder(passwordField_, rememberBox_);
    setTabOrder(rememberBox_, logoutButton_);
    setTabOrder(logoutButton_, logonButton_);
    setTabOrder(logonButton_, quitButton_);  // last: a stray key press must not land on it
    // The panel itself holds the focus when the control that had it is disabled; otherwise
    // the toolkit passes it on along the chain, and a following Space could press Quit.
    setFocusPolicy(Qt::ClickFocus);

    connect(serverField_, &QLineEdit::textEdited, this, &ContentView::serverEdited);
    for (QLineEdit* field : {serverField_, usernameField_, passwordField_}) {
        connect(field, &QLineEdit::textChanged, this, &ContentView::render);
    }
    connect(serverField_, &QLineEdit::returnPressed, this,
            [this] { setFocusedField(Field::username); });
    connect(usernameField_, &QLineEdit::returnPressed, this,
            [this] { setFocusedField(Field::password); });
    connect(passwordField_, &QLineEdit::returnPressed, this, &ContentView::submitPassword);
    connect(logoutButton_, &QPushButton::clicked, this, &ContentView::startLogout);
    connect(logonButton_, &QPushButton::clicked, this, &ContentView::startLogon);
}

QString ContentView::serverInput() const {
    return serverField_->text();
}
QString ContentView::username() const {
    return usernameField_->text();
}
QString ContentView::password() const {
    return passwordField_->text();
}
bool ContentView::remembersPassword() const {
    return rememberBox_->isChecked();
}

QLineEdit* ContentView::fieldWidget(Field field) const {
    switch (field) {
        case Field::server:
            return serverField_;
        case Field::username:
            return usernameField_;
        case Field::password:
            return passwordField_;
    }
    return nullptr;
}

std::optional<ContentView::Field> ContentView::focusedField() const {
    const QWidget* focused = focusWidget();
    for (Field field : {Field::server, Field::username, Field::password}) {
        if (focused == fieldWidget(field)) {
            return field;
        }
    }
    return std::nullopt;
}

void ContentView::setFocusedField(std::optional<Field> field) {
    if (field) {
        fieldWidget(*field)->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (QWidget* focused = focusWidget(); focused && isAncestorOf(focused)) {
        focused->clearFocus();
    }
}

void ContentView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        appear();
    }
}

void ContentView::appear() {
    serverField_->setText(storedServerAddress_);
    setFocusedField(Field::server);
    lookUpTicket();  // a kinit since the panel was last shown counts
}

void ContentView::lookUpTicket() {
    if (workflows_.findTicket) {
        findTicketOffGuiThread(resultPort_, workflows_.findTicket);
    }
}

void ContentView::ticketFound(const std::optional<KerberosTicket>& ticket) {
    ticket_ = ticket;
    render();
}

std::optional<KerberosTicket> ContentView::servingTicket() const {
    if (!ticket_) {
        return std::nullopt;
    }
    const std::optional<AccountName> account = parseAccountName(username().toStdString());
    if (!account ||
        !ticketServes(*ticket_, serverHostFromText(serverInput().toStdString()), *account)) {
        return std::nullopt;
    }
    return ticket_;
}

void ContentView::serverEdited(const QString& text) {
    const QString upper = text.toUpper();
    if (upper != text) {
        // Keep the cursor where it was counted from the end: upper-casing may change lengths.
        const int fromEnd = text.size() - serverField_->cursorPosition();
        serverField_->setText(upper);
        serverField_->setCursorPosition(upper.size() - fromEnd);
    }
    storedServerAddress_ = upper;
    QSettings().setValue(kServerKey, upper);
}

void ContentView::submitPassword() {
    if (canStartLogon()) {
        startLogon();
    }
}

bool ContentView::canStartLogon() const {
    if (isLoggedIn_ && hasBrokenShares_ && workflows_.reconnect) {
        return !isLoading_;  // a repair: each share's mount names its server and user
    }
    return !username().isEmpty() && (!password().isEmpty() || servingTicket()) &&
           !serverInput().isEmpty() && !isLoading_ && !isLoggedIn_;
}

void ContentView::startLogon() {
    if (isLoggedIn_ && hasBrokenShares_ && workflows_.reconnect) {
        startReconnect();
        return;
    }
    isLoading_ = true;
    statusMessage_ = kLogonRunning;
    setFocusedField(std::nullopt);
    render();
    // Copied here, on the GUI thread: the fields stay editable while the logon runs.
    auto logon = workflows_.logon;
    runOffGuiThread(
        resultPort_,
        [logon, server = serverInput(), user = username(), secret = password(),
         remember = remembersPassword()] { return logon(server, user, secret, remember); },
        &ContentView::finishLogon);
}

void ContentView::finishLogon(const WorkflowResult& result) {
    statusMessage_ = QString::fromStdString(result.message);
    isLoading_ = false;
    hasMountedShares_ = !result.mountedShares.empty();
    if (result.outcome == Outcome::Succeeded || result.outcome == Outcome::PartlyDone) {
        isLoggedIn_ = true;
        passwordField_->clear();
        // Never cancelled: it runs whatever happens meanwhile and closes only a shown popover.
        QTimer::singleShot(kPopoverCloseDelayMs, this, &ContentView::closePopoverIfShown);
    }
    render();
    emit logonFinished(result);
}

void ContentView::startLogout() {
    isLoading_ = true;
    isLoggingOut_ = true;
    statusMessage_ = kLogoutRunning;
    render();
    runOffGuiThread(resultPort_, workflows_.logout, &ContentView::finishLogout);
}

void ContentView::finishLogout(const WorkflowResult& result) {
    isLoading_ = false;
    isLoggingOut_ = false;
    hasMountedShares_ = !result.mountedShares.empty();
    if (result.outcome == Outcome::Succeeded) {
        isLoggedIn_ = false;
        statusMessage_ = kReady;
        render();
        setFocusedField(Field::server);
        emit logoutFinished(result);
        return;
    }
    // Whatever is still mounted keeps the panel logged on, with Logout at hand.
    statusMessage_ = QString::fromStdString(result.message);
    render();
    emit logoutFinished(result);
}

void ContentView::setHasBrokenShares(bool broken) {
    if (broken != hasBrokenShares_) {
        hasBrokenShares_ = broken;
        render();
    }
}

void ContentView::startReconnect() {
    if (isLoading_ || !workflows_.reconnect) {
        return;
    }
    isLoading_ = true;
    statusMessage_ = kReconnectRunning;
    render();
    auto reconnect = workflows_.reconnect;
    runOffGuiThread(
        resultPort_, [reconnect, secret = password()] { return reconnect(secret); },
        &ContentView::finishReconnect);
}

void ContentView::finishReconnect(const WorkflowResult& result) {
    isLoading_ = false;
    statusMessage_ = QString::fromStdString(result.message);
    if (result.outcome == Outcome::Succeeded) {
        passwordField_->clear();
    }
    render();
    emit reconnectFinished(result);
}

void ContentView::stopWorkflow() {
    if (workflows_.stop) {
        workflows_.stop();
    }
}

void ContentView::closePopoverIfShown() {
    if (popover_ && popover_->isVisible()) {
        popover_->close();
    }
}

void ContentView::render() {
    const bool fieldsEnabled = !isLoggedIn_;
    const bool logoutEnabled = !isLoading_ && (isLoggedIn_ || hasMountedShares_);
    if (QWidget* focused = focusWidget(); (focused == logoutButton_ && !logoutEnabled) ||
                                          (focused == logonButton_ && !canStartLogon())) {
        setFocus(Qt::OtherFocusReason);
    }
    for (QLineEdit* field : {serverField_, usernameField_, passwordField_}) {
        if (!fieldsEnabled && focusWidget() == field) {
            field->clearFocus();
        }
        field->setEnabled(fieldsEnabled);
    }
    rememberBox_->setEnabled(fieldsEnabled);
    // After a failed logon that left shares mounted (the home share without "mac.bat", say),
    // Logout is the way to release them.
    logoutButton_->setEnabled(logoutEnabled);
    logonButton_->setEnabled(canStartLogon());
    const std::optional<KerberosTicket> ticket = servingTicket();
    passwordField_->setPlaceholderText(
        ticket
            ? QStringLiteral("Kerberos ticket of %1").arg(QString::fromStdString(ticket->principal))
            : QString());
    logonButton_->setText(isLoading_ ? QString() : QStringLiteral("Logon"));
    busyIndicator_->setVisible(isLoading_);
    statusLine_->setMessage(statusMessage_);
    emit stateChanged();
}

}  // namespace quorvane
