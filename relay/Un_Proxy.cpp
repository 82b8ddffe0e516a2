#include "relay/Un_Proxy.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>


namespace relvane {
namespace {

constexpr const char* SettingsFile = "./relvane.ini";
constexpr const char* HistoryFile = "./relvane.dat";
constexpr const char* Section = "Proxy";
constexpr int StatusPanel0Width = 185;

QString ServerPacketsText(int32_t count) { return QStringLiteral("Packets from Server : %1").arg(count); }
QString ClientPacketsText(int32_t count) { return QStringLiteral("Packets from Client : %1").arg(count); }

template <typename Widget>
Widget* MakeControl(QWidget* parent, const char* name) {
    auto* widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
    auto* label = MakeControl<QLabel>(parent, name);
    label->setText(text);
    label->setGeometry(geometry);
    return label;
}

}  // namespace

TFrm_Relvane::TFrm_Relvane(RelayWindowOptions options, QWidget* parent)
    : QWidget(parent),
      EngineConfig(std::move(options.Engine)),
      WindowOps(*this, Invoker, options.Headless) {
    setObjectName(QStringLiteral("Frm_Relvane"));
    setWindowTitle(QStringLiteral("Relvane"));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(13);
    setFont(font);
    resize(DesignWidth, DesignHeight);

    BuildPanel1();
    BuildPanel2();
    AlignPanels();
    setTabOrder(ED_Address, ED_RemotePort);
    setTabOrder(ED_RemotePort, CB_Debug);
    WatchAddressFocus();

    Timer1 = MakeControl<QTimer>(this, "Timer1");
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TFrm_Relvane::Timer1Timer);
    Timer1->start();

    FormCreate();
}

TFrm_Relvane::~TFrm_Relvane() {
    // QWidget's destructor still moves the focus, after the controls are gone.
    disconnect(AddressFocusWatch);
    FormClose();
}

void TFrm_Relvane::BuildPanel1() {
    Panel1 = MakeControl<QFrame>(this, "Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

    Label2 = MakeLabel(Panel1, "Label2", QStringLiteral("Quake Server"), QRect(12, 12, 84, 16));
    ED_Address = MakeControl<QComboBox>(Panel1, "ED_Address");
    ED_Address->setEditable(true);
    // The list only grows through AddComboBox, never by pressing Enter.
    ED_Address->setInsertPolicy(QComboBox::NoInsert);
    ED_Address->setGeometry(100, 9, 169, 22);

    Label1 = MakeLabel(Panel1, "Label1", QStringLiteral("Remote Port"), QRect(12, 39, 84, 16));
    ED_RemotePort = MakeControl<QLineEdit>(Panel1, "ED_RemotePort");
    // Five positions, each a digit or a blank; blank is the fill character.
    ED_RemotePort->setInputMask(QStringLiteral("00000; "));
    ED_RemotePort->setGeometry(100, 36, 69, 22);

    Label3 = MakeLabel(Panel1, "Label3", QStringLiteral("Connections"), QRect(12, 66, 84, 16));
    Bevel1 = MakeControl<QFrame>(Panel1, "Bevel1");
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Bevel1->setGeometry(100, 63, 69, 21);
    Lbl_Connections = MakeLabel(Bevel1, "Lbl_Connections", QStringLiteral("0"), QRect(2, 2, 65, 17));
    Lbl_Connections->setAlignment(Qt::AlignCenter);

    CB_Debug = MakeControl<QCheckBox>(Panel1, "CB_Debug");
    CB_Debug->setText(QStringLiteral("Debug"));
    CB_Debug->setLayoutDirection(Qt::RightToLeft);  // caption left of the box
    CB_Debug->setGeometry(300, 11, 70, 18);
    CB_Debug->setChecked(true);
    // toggled, not clicked: a change made by start-up must run the handler too.
    connect(CB_Debug, &QCheckBox::toggled, this, &TFrm_Relvane::CB_DebugClick);
}

void TFrm_Relvane::BuildPanel2() {
    Panel2 = MakeControl<QFrame>(this, "Panel2");
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* layout = new QVBoxLayout(Panel2);
    layout->setContentsMargins(5, 5, 5, 5);
    layout->setSpacing(0);

    Memo1 = MakeControl<QPlainTextEdit>(Panel2, "Memo1");
    Memo1->setReadOnly(true);
    Memo1->setMaximumBlockCount(LogLineLimit);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont memoFont(QStringLiteral("MS Sans Serif"));
    memoFont.setPixelSize(13);
    Memo1->setFont(memoFont);
    QPalette palette = Memo1->palette();
    palette.setColor(QPalette::Text, Qt::black);
    Memo1->setPalette(palette);
    layout->addWidget(Memo1, 1);

    Panel4 = MakeControl<QFrame>(Panel2, "Panel4");
    Panel4->setFrameStyle(QFrame::NoFrame);
    Panel4->setFixedHeight(5);
    layout->addWidget(Panel4);

    Panel3 = MakeControl<QFrame>(Panel2, "Panel3");
    Panel3->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel3->setFixedHeight(29);
    BuildStatusBar(Panel3);
    layout->addWidget(Panel3);
}

void TFrm_Relvane::BuildStatusBar(QFrame* parent) {
    auto* layout = new QVBoxLayout(parent);
    layout->setContentsMargins(2, 2, 2, 2);
    StatusBar1 = MakeControl<QStatusBar>(parent, "StatusBar1");
    StatusBar1->setSizeGripEnabled(false);
    StatusPanels[0] = new QLabel(ServerPacketsText(0), StatusBar1);
    StatusPanels[0]->setFixedWidth(StatusPanel0Width);
    StatusPanels[1] = new QLabel(ClientPacketsText(0), StatusBar1);
    StatusBar1->addWidget(StatusPanels[0]);
    StatusBar1->addWidget(StatusPanels[1], 1);
    layout->addWidget(StatusBar1);
}

void TFrm_Relvane::AlignPanels() {
    if (Panel1FillsWindow) {
        Panel1->setGeometry(0, 0, width(), height());
        return;
    }
    Panel1->setGeometry(0, 0, width(), Panel1Height);
    Panel2->setGeometry(0, Panel1Height, width(), std::max(0, height() - Panel1Height));
}

void TFrm_Relvane::WatchAddressFocus() {
    // ED_AddressExit runs when the focus moves from the server field to
    // another control of this window; not when the drop-down list opens or
    // another window becomes active.
    AddressFocusWatch = connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        const auto inAddressField = [this](QWidget* widget) {
            return widget != nullptr && (widget == ED_Address || ED_Address->isAncestorOf(widget));
        };
        if (inAddressField(old) && now != nullptr && now->window() == this && !inAddressField(now))
            ED_AddressExit();
    });
}

// --- Start-up and end ----------------------------------------------------

void TFrm_Relvane::FormCreate() {
    // POSIX sockets need no library start-up, so that step cannot fail here.
    FillHistory(LoadHistoryFile(HistoryFile));
    WindowOps.ShowLog(Banner);
    const IniSettings settings = IniSettings::Load(SettingsFile);
    CreateEngine(settings);
    RemotePort = settings.ReadPort(Section, "RemotePort", DefaultPort);
    ED_RemotePort->setText(QString::number(RemotePort));
    LocalPort = settings.ReadPort(Section, "LocalPort", DefaultPort);
    ED_Address->setEditText(QString::fromStdString(settings.ReadString(Section, "RemoteHost", "")));
    CB_Debug->setChecked(settings.ReadBool(Section, "Debug", false));
    Counters().ServerPackets = 0;
    Counters().ClientPackets = 0;
    Counters().Connections = 0;
    StartListeners(settings.ReadBool(Section, "TCPIP", true), settings.ReadBool(Section, "IPX", true));
}

void TFrm_Relvane::CreateEngine(const IniSettings& settings) {
    // EngineConfig.BufferSize (8192 bytes) sizes every receive buffer.
    if (auto allowed = RemoteAllowList::Parse(settings.ReadString(Section, "RemoteAllow", ""))) {
        for (const std::string& entry : allowed->Unreadable)
            WindowOps.ShowLog("RemoteAllow ignores " + entry + " : not an IPv4 address");
        EngineConfig.RemoteAllow = std::move(allowed);
    }
    Engine = std::make_unique<RelayEngine>(WindowOps, EngineConfig);
}

void TFrm_Relvane::FillHistory(const std::vector<std::string>& entries) {
    HistoryEntries = HistoryList(entries);
    ED_Address->clear();
    // One insertion for the whole list: item by item costs time for every
    // entry already there, which a history of thousands of lines makes felt.
    QStringList items;
    items.reserve(static_cast<qsizetype>(entries.size()));
    for (const std::string& entry : entries) items << QString::fromStdString(entry);
    ED_Address->addItems(items);
    ED_Address->setCurrentIndex(-1);  // no entry chosen: the field shows RemoteHost
}

void TFrm_Relvane::StartListeners(bool ipv4, bool ipx) {
    // Each set-up runs here on the UI thread and logs through the window
    // operations, which then run at once; the IPv4 listener's lines come first.
    if (ipv4) Ipv4Port = Engine->StartListener(FamilyIpv4, LocalPort);
    if (ipx) Engine->StartListener(FamilyIpx, LocalPort);
}

void TFrm_Relvane::FormClose() {
    if (Closed) return;
    Closed = true;
    Timer1->stop();
    // First release every endpoint waiting for a window operation, then join
    // the endpoints: none can block on this thread any more.
    Invoker.Close();
    if (Engine) Engine->Shutdown();
}

void TFrm_Relvane::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

// --- Handlers --------------------------------------------------------------

void TFrm_Relvane::Timer1Timer() {
    RelayCounters& counters = Counters();
    StatusPanels[0]->setText(ServerPacketsText(counters.ServerPackets.load()));
    StatusPanels[1]->setText(ClientPacketsText(counters.ClientPackets.load()));
    Lbl_Connections->setText(QString::number(counters.Connections.load()));
}

void TFrm_Relvane::CB_DebugClick() {
    if (CB_Debug->isChecked()) {
        Panel1Height = Panel1->height();
        Panel1FillsWindow = false;
        if (Panel2->isHidden()) resize(width(), height() + LogPanelDesignHeight);
        Panel2->show();
        ScrollLogToLastLine();
    } else {
        Panel2->hide();
        resize(width(), height() - Panel2->height());
        Panel1FillsWindow = true;
    }
    // resize() of a window not shown yet sends no resize event.
    AlignPanels();
}

void TFrm_Relvane::ED_AddressExit() { AddComboBox(ED_Address->currentText()); }

void TFrm_Relvane::AddComboBox(const QString& text) {
    if (!HistoryEntries.Add(text.toStdString())) return;
    // Inserting into an empty list would make the new entry current and
    // replace what the user is typing; the field keeps its text.
    const QString typed = ED_Address->currentText();
    ED_Address->insertItem(0, text);
    if (ED_Address->currentText() != typed) ED_Address->setEditText(typed);
}

// --- Window operations, on the UI thread -----------------------------------

QString TFrm_Relvane::ServerText() const { return ED_Address->currentText(); }

QString TFrm_Relvane::PortText() const { return ED_RemotePort->displayText(); }

void TFrm_Relvane::SetTargetFields(uint16_t port, const QString& addressText) {
    ED_RemotePort->setText(QString::number(port));
    ED_Address->setEditText(addressText);
}

void TFrm_Relvane::AppendLogLine(const QString& line) {
    Memo1->appendPlainText(line);
    // Scrolling lays the text out, which costs more than the append: worth
    // it only while the log can be seen. Showing the window or the panel
    // scrolls once.
    if (Memo1->isVisible()) ScrollLogToLastLine();
}

void TFrm_Relvane::ScrollLogToLastLine() {
    // Bring the last line into view from its start, not from its end.
    Memo1->moveCursor(QTextCursor::End);
    Memo1->moveCursor(QTextCursor::StartOfBlock);
    Memo1->ensureCursorVisible();
}

void TFrm_Relvane::ShowErrorBox(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Fehler"), text, QMessageBox::Ok, this);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

// --- Geometry ----------------------------------------------------------------

void TFrm_Relvane::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    AlignPanels();
}

void TFrm_Relvane::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    ScrollLogToLastLine();
    if (Centered) return;
    Centered = true;
    if (const QScreen* display = screen())
        move(display->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

}  // namespace relvane
