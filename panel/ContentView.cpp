#include "ContentView.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QShowEvent>
#include <QStyle>
#include <QThreadPool>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <exception>
#include <mutex>
#include <utility>

#include <AccountName.h>
#include <SMBManager.h>
#include <SmbUrl.h>

#include "Accessibility.h"
#include "Artwork.h"
#include "BusyIndicator.h"
#include "Contrast.h"
#include "LogonSettings.h"
#include "PanelPlatform.h"
#include "StatusLine.h"
#include "StatusWords.h"

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
constexpr int kBusyIndicatorInset = 8;
// What a line edit keeps free beside its text besides its frame.
constexpr int kPlaceholderSlack = 6;
// The headline and caption fonts, relative to the panel's.
constexpr qreal kTitleScale = 1.15;
constexpr qreal kStatusScale = 0.85;

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

protected:
    void keyPressEvent(QKeyEvent* event) override {
#ifndef Q_OS_MACOS
        // Alt with a letter is a mnemonic. When its control is disabled the toolkit hands the
        // key on to the focused field, which would type the letter into it. (AltGr, which
        // types characters, comes as Ctrl+Alt or as a modifier of its own; on macOS Option
        // types characters and mnemonics do not exist.)
        const Qt::KeyboardModifiers modifiers = event->modifiers();
        if ((modifiers & Qt::AltModifier) && !(modifiers & Qt::ControlModifier) &&
            !event->text().isEmpty()) {
            event->ignore();
            return;
        }
#endif
        QLineEdit::keyPressEvent(event);
    }

private:
    Qt::EnterKeyType enterKey_;
};

// Return presses a focused button, as Space does; the toolkit leaves Return to dialogs.
class ReturnClicks : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) {
            return false;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (!button || (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
            return false;
        }
        if (button->isEnabled()) {
            button->click();
        }
        return true;
    }
};

// The visible text of a label or button without its mnemonic marker and trailing colon.
QString spokenText(QString text) {
    text.remove(QLatin1Char('&'));
    if (text.endsWith(QLatin1Char(':'))) {
        text.chop(1);
    }
    return text;
}

// Assistive technology hears of every change of a name or description, so the panel, which
// renders on each keystroke, sets them only when they change.
void describe(QWidget* widget, const QString& name, const QString& description) {
    if (widget->accessibleName() != name) {
        widget->setAccessibleName(name);
    }
    if (widget->accessibleDescription() != description) {
        widget->setAccessibleDescription(description);
    }
}

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
        return QCoreApplication::translate("quorvane::ContentView", "Unexpected error: %1")
            .arg(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return QCoreApplication::translate("quorvane::ContentView", "Unexpected error.");
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
      statusMessage_(tr("Ready")) {
    resultPort_->receiver = this;
    installPanelAccessibility();
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
    setAccessibleName(tr("Logon panel"));
    // The size hint: 400 x 280, or what a larger font or scale needs.
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    logo_ = new QLabel(this);
    logo_->setObjectName(QStringLiteral("logo"));
    logo_->setFixedSize(kLogoSide, kLogoSide);
    logo_->setAccessibleName(tr("Quorvane logo"));
    logo_->setPixmap(
        artwork::pixmap(artwork::kAppLogo, QSize(kLogoSide, kLogoSide), devicePixelRatioF()));

    title_ = new QLabel(panelTitle(), this);
    title_->setObjectName(QStringLiteral("title"));
    title_->setTextFormat(Qt::PlainText);
    title_->setFont(scaledFont(font(), kTitleScale, true));

    quitButton_ = new QToolButton(this);
    quitButton_->setObjectName(QStringLiteral("quitButton"));
    quitButton_->setAutoRaise(true);
    quitButton_->setIcon(artwork::icon(artwork::kPower, devicePixelRatioF()));
    quitButton_->setIconSize(QSize(kQuitIconSide, kQuitIconSide));
    quitButton_->setToolTip(tr("Quit Application"));
    quitButton_->setAccessibleName(tr("Quit Application"));
    quitButton_->setShortcut(QKeySequence::Quit);
    quitButton_->setAccessibleDescription(
        tr("Ends Quorvane; mounted shares stay mounted. Shortcut: %1")
            .arg(quitButton_->shortcut().toString(QKeySequence::NativeText)));
    quitButton_->setCursor(Qt::PointingHandCursor);
    connect(quitButton_, &QToolButton::clicked, qApp, &QCoreApplication::quit);

    // Under the title, beside the logo: the panel keeps its height.
    autoLogonBox_ = new QCheckBox(tr("Log on automatically"), this);
    autoLogonBox_->setObjectName(QStringLiteral("logOnAutomatically"));
    autoLogonBox_->setToolTip(
        tr("At the desktop's login, log on with your Kerberos ticket or the remembered "
           "password, without the panel"));
    autoLogonBox_->setAccessibleDescription(autoLogonBox_->toolTip());
    autoLogonBox_->setChecked(readAutoLogonSettings().enabled);
    connect(autoLogonBox_, &QCheckBox::toggled, this,
            [](bool checked) { setLogOnAutomatically(checked); });
    auto* titleColumn = new QVBoxLayout;
    titleColumn->setSpacing(kFormRowSpacing);
    titleColumn->addStretch(1);
    titleColumn->addWidget(title_);
    titleColumn->addWidget(autoLogonBox_);
    titleColumn->addStretch(1);

    auto* header = new QHBoxLayout;
    header->setSpacing(kHeaderSpacing);
    header->setContentsMargins(kLogoLeadingSpace, kHeaderTopSpace, kQuitTrailingSpace, 0);
    header->addWidget(logo_, 0, Qt::AlignVCenter);
    header->addLayout(titleColumn);
    header->addStretch(1);
    header->addWidget(quitButton_, 0, Qt::AlignVCenter);

    serverField_ = new FormField(Qt::EnterKeyNext, this);
    serverField_->setObjectName(QStringLiteral("serverField"));
    usernameField_ = new FormField(Qt::EnterKeyNext, this);
    usernameField_->setObjectName(QStringLiteral("usernameField"));
    passwordField_ = new FormField(Qt::EnterKeyDone, this);
    passwordField_->setObjectName(QStringLiteral("passwordField"));
    passwordField_->setEchoMode(QLineEdit::Password);
    passwordField_->installEventFilter(this);
    serverField_->setAccessibleDescription(
        tr("The name or address of the file server, for example FS1 or 10.0.0.5."));
    usernameField_->setAccessibleDescription(
        tr("Your user name on the server, alone or as DOMAIN\\NAME or NAME@DOMAIN."));
    passwordField_->setAccessibleDescription(
        tr("Your password on the server. Quorvane keeps it only when Remember is ticked."));

    auto* form = new QFormLayout;
    form->setContentsMargins(kDefaultPadding, 0, kDefaultPadding, 0);
    form->setVerticalSpacing(kFormRowSpacing);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The labels name the fields for assistive technology too, and their mnemonics move the
    // focus to them.
    const QString serverLabel = tr("&Server IP or Name:");
    const QString userLabel = tr("&Username:");
    const QString passwordLabel = tr("&Password:");
    serverField_->setAccessibleName(spokenText(serverLabel));
    usernameField_->setAccessibleName(spokenText(userLabel));
    passwordField_->setAccessibleName(spokenText(passwordLabel));
    // Beside the password it belongs to, so that the panel keeps its three rows.
    rememberBox_ = new QCheckBox(tr("Re&member"), this);
    rememberBox_->setObjectName(QStringLiteral("rememberPassword"));
    rememberBox_->setToolTip(
        tr("Keep the password in the desktop's secret store, so that "
           "Reconnect needs no typing"));
    rememberBox_->setAccessibleName(tr("Remember password"));
    rememberBox_->setAccessibleDescription(rememberBox_->toolTip());
    rememberBox_->setChecked(QSettings().value(kRememberKey, false).toBool());
    fitToFont();
    connect(rememberBox_, &QCheckBox::toggled, this,
            [](bool checked) { QSettings().setValue(kRememberKey, checked); });
    auto* passwordRow = new QHBoxLayout;
    passwordRow->setSpacing(kFormRowSpacing);
    passwordRow->addWidget(passwordField_, 1);
    passwordRow->addWidget(rememberBox_);
    auto* passwordLabelText = new QLabel(passwordLabel, this);
    passwordLabelText->setBuddy(passwordField_);
    form->addRow(serverLabel, serverField_);
    form->addRow(userLabel, usernameField_);
    form->addRow(passwordLabelText, passwordRow);

    auto* divider = new QFrame(this);
    divider->setObjectName(QStringLiteral("divider"));
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    statusLine_ = new StatusLine(this);
    statusLine_->setObjectName(QStringLiteral("statusLine"));
    statusLine_->setFont(scaledFont(font(), kStatusScale, false));
    statusLine_->setAccessibleDescription(tr("What the last logon or logout did."));
    auto* statusRow = new QHBoxLayout;
    statusRow->setContentsMargins(kDefaultPadding, 0, kDefaultPadding, 0);
    statusRow->addWidget(statusLine_);

    logoutButton_ = new QPushButton(tr("Log&out"), this);
    logoutButton_->setObjectName(QStringLiteral("logoutButton"));
    logoutButton_->setAccessibleName(spokenText(logoutButton_->text()));
    logoutButton_->setAccessibleDescription(
        tr("Releases every mounted share and removes its folder."));
    logonButton_ = new QPushButton(this);
    logonButton_->setObjectName(QStringLiteral("logonButton"));
    auto* returnClicks = new ReturnClicks(this);
    for (QPushButton* button : {logoutButton_, logonButton_}) {
        button->setMinimumWidth(kButtonMinWidth);
        button->setAutoDefault(false);
    }
    for (QAbstractButton* button :
         {static_cast<QAbstractButton*>(logoutButton_), static_cast<QAbstractButton*>(logonButton_),
          static_cast<QAbstractButton*>(quitButton_)}) {
        button->installEventFilter(returnClicks);
    }
    busyIndicator_ = new BusyIndicator(logonButton_);
    busyIndicator_->setObjectName(QStringLiteral("busyIndicator"));
    busyIndicator_->hide();
    auto* logonContent = new QHBoxLayout(logonButton_);
    logonContent->setContentsMargins(kBusyIndicatorInset, 0, kBusyIndicatorInset, 0);
    logonContent->addWidget(busyIndicator_, 0, Qt::AlignCenter);
    applyColours();

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

    // Reading order; a forward Tab passes over Quit (see focusNextPrevChild).
    setTabOrder(quitButton_, serverField_);
    setTabOrder(serverField_, usernameField_);
    setTabOrder(usernameField_, passwordField_);
    setTabOrder(passwordField_, rememberBox_);
    setTabOrder(rememberBox_, autoLogonBox_);
    setTabOrder(autoLogonBox_, logoutButton_);
    setTabOrder(logoutButton_, logonButton_);
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
    connect(logonButton_, &QPushButton::clicked, this, &ContentView::logonButtonClicked);
}

QSize ContentView::minimumSizeHint() const {
    return QWidget::minimumSizeHint().expandedTo(QSize(kWidth, kHeight));
}

QSize ContentView::sizeHint() const {
    return minimumSizeHint();
}

void ContentView::applyColours() {
    // The emphasised, accent-filled button of the pair, its fill darkened where the theme's
    // accent is too light for its text to read at 4.5:1.
    const QColor text = palette().color(QPalette::Active, QPalette::HighlightedText);
    const QColor fill = legibleFill(palette().color(QPalette::Active, QPalette::Highlight), text);
    logonButtonStyle_ =
        QStringLiteral(
            "QPushButton { background-color: %1; color: %2; border: 1px solid %1;"
            " border-radius: 5px; padding: 4px 12px; }"
            // The focus ring takes its width from the padding: the button keeps its size
            // when the focus comes to it, so the pop-up does not jump.
            "QPushButton:focus { border: 2px solid palette(window-text); padding: 3px 11px; }"
            "QPushButton[indicator=\"true\"] { padding-left: %3px; }"
            "QPushButton[indicator=\"true\"]:focus { padding-left: %4px; }"
            "QPushButton:pressed { background-color: palette(dark); }"
            "QPushButton:disabled { background-color: palette(midlight); color: palette(mid);"
            " border-color: palette(mid); }")
            .arg(fill.name(), text.name())
            .arg(BusyIndicator::kSize + 2 * kBusyIndicatorInset)
            .arg(BusyIndicator::kSize + 2 * kBusyIndicatorInset - 1);
    logonButton_->setStyleSheet(logonButtonStyle_);
}

void ContentView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && logonButton_) {
        applyColours();
        render();
    }
    if (event->type() == QEvent::FontChange && title_) {
        // The title and the status line are sized from the panel's font: a new desktop font
        // reaches them too.
        title_->setFont(scaledFont(font(), kTitleScale, true));
        statusLine_->setFont(scaledFont(font(), kStatusScale, false));
        fitToFont();
    }
}

void ContentView::fitToFont() {
    // The style draws the box at a fixed size; it grows with a larger font, as high as a
    // capital letter reaches.
    const int side = QFontMetrics(font()).ascent();
    const QString sheet =
        side > style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, rememberBox_)
            ? QStringLiteral("QCheckBox::indicator { width: %1px; height: %1px; }").arg(side)
            : QString();
    if (rememberBox_->styleSheet() != sheet) {
        rememberBox_->setStyleSheet(sheet);
    }
    // Room for a dozen dots and for the shortest placeholder whatever the font: a large font
    // widens the panel rather than squeezing the field the user types into.
    const QFontMetrics metrics(font());
    passwordField_->setMinimumWidth(
        qMax(metrics.averageCharWidth() * 14,
             metrics.horizontalAdvance(tr("Kerberos ticket")) + placeholderMargins()));
}

int ContentView::placeholderMargins() const {
    // The frame, the text margins and the field's own inner margin, as the toolkit draws them.
    const QMargins margins = passwordField_->textMargins();
    return margins.left() + margins.right() +
           2 * passwordField_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) +
           kPlaceholderSlack;
}

void ContentView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && canCancel()) {
        cancelLogon();
        return;
    }
    // Otherwise Escape goes on to the pop-up, which closes.
    QWidget::keyPressEvent(event);
}

bool ContentView::focusNextPrevChild(bool next) {
    // A forward Tab never lands on Quit, wherever the focus was left: after a failed logon it
    // rests on Logon, whose next stop must be a field, not the end of the program. Shift+Tab
    // from the server field and the Quit shortcut reach it.
    QWidget* const start =
        focusWidget() && isAncestorOf(focusWidget()) ? focusWidget() : static_cast<QWidget*>(this);
    QWidget* candidate = start;
    while (true) {
        candidate = next ? candidate->nextInFocusChain() : candidate->previousInFocusChain();
        if (candidate == start || candidate == this) {
            if (candidate == this && start != this) {
                continue;
            }
            return true;
        }
        if (!isAncestorOf(candidate) || (next && candidate == quitButton_)) {
            continue;
        }
        if (candidate->isEnabled() && candidate->isVisible() &&
            (candidate->focusPolicy() & Qt::TabFocus) == Qt::TabFocus) {
            candidate->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
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
    // Opened because a logon without typing needs the password: the field that answers it.
    setFocusedField(std::exchange(askingPassword_, false) ? Field::password : Field::server);
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
        // A repair: each share's mount names its server and user. Once it has asked for the
        // password, it waits for one to be typed.
        return !isLoading_ && (!needsPassword_ || !password().isEmpty() || servingTicket());
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
    statusMessage_ = tr("Processing Network Logon Workflows...");
    setFocusedField(std::nullopt);
    render();
    focusCancel();
    // Copied here, on the GUI thread: the fields stay editable while the logon runs.
    auto logon = workflows_.logon;
    runOffGuiThread(
        resultPort_,
        [logon, server = serverInput(), user = username(), secret = password(),
         remember = remembersPassword()] { return logon(server, user, secret, remember); },
        &ContentView::finishLogon);
}

bool ContentView::logsOnAutomatically() const {
    return autoLogonBox_->isChecked();
}

void ContentView::startAutoLogon() {
    if (isLoading_ || isLoggedIn_ || !workflows_.autoLogon) {
        return;
    }
    const AutoLogonSettings saved = readAutoLogonSettings();
    storedServerAddress_ = saved.server;
    serverField_->setText(saved.server);
    if (!saved.user.isEmpty()) {
        usernameField_->setText(saved.user);
    }
    isLoading_ = true;
    autoLogonRunning_ = true;
    statusMessage_ = tr("Processing Network Logon Workflows...");
    render();
    auto autoLogon = workflows_.autoLogon;
    runOffGuiThread(
        resultPort_, [autoLogon, saved] { return autoLogon(saved.server, saved.user); },
        &ContentView::finishLogon);
}

void ContentView::finishLogon(const WorkflowResult& result) {
    const bool automatic = std::exchange(autoLogonRunning_, false);
    statusMessage_ = statusWords(QString::fromStdString(result.message));
    if (automatic && result.passwordNeeded) {
        statusMessage_ =
            result.password == WorkflowResult::Password::Refused
                ? tr("The server did not take the remembered password, which is forgotten. "
                     "Type your password and press Logon.")
                : tr("No Kerberos ticket and no remembered password: type your password and "
                     "press Logon.");
    }
    isLoading_ = false;
    cancelling_ = false;
    hasMountedShares_ = !result.mountedShares.empty();
    if (result.outcome == Outcome::Succeeded || result.outcome == Outcome::PartlyDone) {
        isLoggedIn_ = true;
        needsPassword_ = false;
        passwordField_->clear();
        saveLogonUser(username());
        // Never cancelled: it runs whatever happens meanwhile and closes only a shown popover.
        QTimer::singleShot(kPopoverCloseDelayMs, this, &ContentView::closePopoverIfShown);
    }
    render();
    if (!isLoggedIn_ && result.password == WorkflowResult::Password::Refused) {
        // The refused password is shown selected where it was typed: typing replaces it, and
        // Return sends it again only as the user sees it chosen.
        passwordField_->setFocus(Qt::OtherFocusReason);
        passwordField_->selectAll();
    } else if (!isLoggedIn_ && logonButton_->isEnabled()) {
        // No field takes the focus back; Logon has it, so Return or Space tries again and
        // Tab goes on to the fields.
        logonButton_->setFocus(Qt::OtherFocusReason);
    }
    emit logonFinished(result);
    if (automatic && result.passwordNeeded) {
        askingPassword_ = !isVisible();
        passwordField_->setFocus(Qt::OtherFocusReason);
        emit userNeeded();
    }
}

void ContentView::logonButtonClicked() {
    if (canCancel()) {
        cancelLogon();
    } else if (canStartLogon()) {
        startLogon();
    }
}

void ContentView::focusCancel() {
    // The focus rests where the keyboard can stop the workflow, and assistive technology
    // hears of it: on Cancel, else on the panel itself, never nowhere (Escape would then
    // close the pop-up and leave the workflow running).
    if (canCancel()) {
        logonButton_->setFocus(Qt::OtherFocusReason);
    } else {
        setFocus(Qt::OtherFocusReason);
    }
}

bool ContentView::canCancel() const {
    return isLoading_ && !isLoggingOut_ && !cancelling_ && workflows_.cancel;
}

void ContentView::cancelLogon() {
    if (!canCancel()) {
        return;
    }
    cancelling_ = true;
    statusMessage_ = tr("Stopping…");
    render();
    workflows_.cancel();
}

void ContentView::setHasMountedShares(bool mounted) {
    if (mounted != hasMountedShares_) {
        hasMountedShares_ = mounted;
        render();
    }
}

void ContentView::startLogout() {
    isLoading_ = true;
    isLoggingOut_ = true;
    statusMessage_ = tr("Logging out and disconnecting shares...");
    render();
    runOffGuiThread(resultPort_, workflows_.logout, &ContentView::finishLogout);
}

void ContentView::finishLogout(const WorkflowResult& result) {
    isLoading_ = false;
    isLoggingOut_ = false;
    hasMountedShares_ = !result.mountedShares.empty();
    if (result.outcome == Outcome::Succeeded) {
        isLoggedIn_ = false;
        needsPassword_ = false;
        statusMessage_ = tr("Ready");
        render();
        setFocusedField(Field::server);
        emit logoutFinished(result);
        return;
    }
    // Whatever is still mounted keeps the panel logged on, with Logout at hand.
    statusMessage_ = statusWords(QString::fromStdString(result.message));
    render();
    emit logoutFinished(result);
}

void ContentView::setHasBrokenShares(bool broken) {
    if (broken != hasBrokenShares_) {
        hasBrokenShares_ = broken;
        needsPassword_ = needsPassword_ && broken;
        render();
    }
}

void ContentView::startReconnect() {
    if (isLoading_ || !workflows_.reconnect) {
        return;
    }
    isLoading_ = true;
    statusMessage_ = tr("Reconnecting the shares that do not work…");
    render();
    focusCancel();
    auto reconnect = workflows_.reconnect;
    runOffGuiThread(
        resultPort_, [reconnect, secret = password()] { return reconnect(secret); },
        &ContentView::finishReconnect);
}

void ContentView::finishReconnect(const WorkflowResult& result) {
    isLoading_ = false;
    cancelling_ = false;
    statusMessage_ = statusWords(QString::fromStdString(result.message));
    needsPassword_ = result.passwordNeeded;
    if (result.passwordNeeded) {
        // Nothing was released: a plain request, and the field to answer it.
        statusMessage_ =
            result.password == WorkflowResult::Password::Refused
                ? tr("The server did not take the password. Nothing was released. Type your "
                     "current password and press Logon to reconnect.")
                : tr("Your password is needed to reconnect. Nothing was released. Type it and "
                     "press Logon.");
    } else if (result.outcome == Outcome::Succeeded) {
        passwordField_->clear();
    }
    render();
    if (needsPassword_) {
        setFocusedField(Field::password);
    }
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
    if (QWidget* focused = focusWidget();
        (focused == logoutButton_ && !logoutEnabled) ||
        (focused == logonButton_ && !canStartLogon() && !canCancel())) {
        setFocus(Qt::OtherFocusReason);
    }
    for (QLineEdit* field : {serverField_, usernameField_, passwordField_}) {
        const bool enabled = fieldsEnabled || (field == passwordField_ && needsPassword_);
        if (!enabled && focusWidget() == field) {
            field->clearFocus();
        }
        field->setEnabled(enabled);
    }
    rememberBox_->setEnabled(fieldsEnabled);
    // Like Remember, chosen before a logon: the next one follows it.
    autoLogonBox_->setEnabled(fieldsEnabled && !isLoading_);
    // After a failed logon that left shares mounted (the home share without "mac.bat", say),
    // Logout is the way to release them.
    logoutButton_->setEnabled(logoutEnabled);
    const std::optional<KerberosTicket> ticket = servingTicket();
    renderPlaceholder(ticket);
    describe(passwordField_, passwordField_->accessibleName(),
             ticket
                 ? tr("Your password on the server, or empty to log on with your Kerberos ticket "
                      "of %1. Quorvane never stores it.")
                       .arg(QString::fromStdString(ticket->principal))
                 : tr("Your password on the server. Quorvane never stores it."));
    renderLogonButton();
    statusLine_->setMessage(statusMessage_);
    emit stateChanged();
}

void ContentView::renderPlaceholder(const std::optional<KerberosTicket>& ticket) {
    QString shown;
    if (ticket) {
        // The longest that fits the field, never a text cut short: the whole principal, the
        // user's name alone, or just the word. The description always names the principal.
        const QFontMetrics metrics = passwordField_->fontMetrics();
        const int room = passwordField_->width() - placeholderMargins();
        for (const QString& candidate :
             {tr("Kerberos ticket of %1").arg(QString::fromStdString(ticket->principal)),
              tr("Kerberos ticket of %1").arg(QString::fromStdString(ticket->name())),
              tr("Kerberos ticket")}) {
            shown = candidate;
            if (metrics.horizontalAdvance(candidate) <= room) {
                break;
            }
        }
    }
    if (passwordField_->placeholderText() != shown) {
        passwordField_->setPlaceholderText(shown);
    }
    const QString tip =
        ticket && !shown.contains(QString::fromStdString(ticket->principal))
            ? tr("Kerberos ticket of %1").arg(QString::fromStdString(ticket->principal))
            : QString();
    if (passwordField_->toolTip() != tip) {
        passwordField_->setToolTip(tip);
    }
}

bool ContentView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == passwordField_ && event->type() == QEvent::Resize) {
        renderPlaceholder(servingTicket());
    }
    return QWidget::eventFilter(watched, event);
}

void ContentView::renderLogonButton() {
    // While a logon runs the button turns into its Cancel, beside the busy indicator; while a
    // logout runs it shows the indicator alone.
    const bool cancel = canCancel();
    logonButton_->setEnabled(cancel || canStartLogon());
    logonButton_->setText(!isLoading_ ? tr("&Logon") : cancel ? tr("&Cancel") : QString());
    busyIndicator_->setVisible(isLoading_);
    const bool withIndicatorAndText = isLoading_ && !logonButton_->text().isEmpty();
    if (logonButton_->property("indicator").toBool() != withIndicatorAndText) {
        logonButton_->setProperty("indicator", withIndicatorAndText);
        logonButton_->setStyleSheet(logonButtonStyle_);  // takes the property into account
    }
    logonButton_->layout()->setAlignment(
        busyIndicator_, withIndicatorAndText ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
    busyIndicator_->setBackdrop(
        cancel ? legibleFill(palette().color(QPalette::Active, QPalette::Highlight),
                             palette().color(QPalette::Active, QPalette::HighlightedText))
               : palette().color(QPalette::Active, QPalette::Midlight));
    if (!isLoading_) {
        describe(logonButton_, spokenText(tr("&Logon")),
                 hasBrokenShares_ && isLoggedIn_
                     ? tr("Mounts the shares that do not work again.")
                     : tr("Logs on to the server and mounts your shares."));
    } else if (cancel) {
        describe(logonButton_, spokenText(logonButton_->text()),
                 tr("Stops the running logon. A share mounted halfway is released."));
    } else {
        describe(
            logonButton_, spokenText(tr("&Logon")),
            cancelling_ ? tr("Busy: the logon is stopping.") : tr("Busy: the logout is running."));
    }
}

}  // namespace quorvane
