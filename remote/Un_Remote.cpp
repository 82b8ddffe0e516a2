#include "remote/Un_Remote.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <string>
#include <vector>

#include "remote/FixedRowHeightDelegate.h"
#include "shared/History.h"
#include "shared/PlatformSockets.h"
#include "shared/PortField.h"

namespace relvane::remote {
namespace {

// The window's size as designed: client area 353 x 127 inside an outer frame of 361 x 156.
constexpr QSize ClientSize(353, 127);
constexpr QSize OuterSize(361, 156);

bool IsWithin(const QWidget* field, const QWidget* widget) {
    return widget != nullptr && (widget == field || field->isAncestorOf(widget));
}

}  // namespace

TFrm_RelvaneRemote::TFrm_RelvaneRemote(ErrorBoxHook errorBoxHook, QWidget* parent)
    : QWidget(parent), ErrorBoxReplacement(std::move(errorBoxHook)) {
    BuildControls();
    FocusWatch = connect(qApp, &QApplication::focusChanged, this, &TFrm_RelvaneRemote::FocusChanged);
    FormCreate();
}

TFrm_RelvaneRemote::~TFrm_RelvaneRemote() {
    // The base class's destructor still moves the focus, when this object is
    // no longer a window to report it to.
    disconnect(FocusWatch);
    FormClose();
}

void TFrm_RelvaneRemote::BuildControls() {
    setObjectName("Frm_RelvaneRemote");
    setWindowTitle("Relvane Remote Client");
    QFont font("Arial");
    font.setPixelSize(13);
    setFont(font);
    resize(ClientSize);

    Panel1 = new QFrame(this);
    Panel1->setObjectName("Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setGeometry(QRect(QPoint(0, 0), ClientSize));

    Label2 = new QLabel("Quake Server", Panel1);
    Label2->setObjectName("Label2");
    Label2->setGeometry(12, 20, 78, 16);

    Label1 = new QLabel("Remote Port", Panel1);
    Label1->setObjectName("Label1");
    Label1->setGeometry(12, 48, 73, 16);

    ED_Address = new QComboBox(Panel1);
    ED_Address->setObjectName("ED_Address");
    ED_Address->setGeometry(108, 16, 197, 24);
    ED_Address->setEditable(true);
    // The history list changes only through AddComboBox; typing neither adds
    // nor completes entries, so the field holds exactly what was typed.
    ED_Address->setInsertPolicy(QComboBox::NoInsert);
    ED_Address->setCompleter(nullptr);
    ED_Address->setItemDelegate(new FixedRowHeightDelegate(16, ED_Address));

    // Five positions, each a digit or a blank; displayText() keeps the blanks.
    ED_RemotePort = new QLineEdit(Panel1);
    ED_RemotePort->setObjectName("ED_RemotePort");
    ED_RemotePort->setGeometry(108, 44, 69, 24);
    ED_RemotePort->setInputMask("00000; ");

    Btn_Abfragen = new QPushButton("Query", Panel1);
    Btn_Abfragen->setObjectName("Btn_Abfragen");
    Btn_Abfragen->setGeometry(108, 80, 75, 25);
    connect(Btn_Abfragen, &QPushButton::clicked, this, &TFrm_RelvaneRemote::Btn_AbfragenClick);

    Btn_Set = new QPushButton("Set", Panel1);
    Btn_Set->setObjectName("Btn_Set");
    Btn_Set->setGeometry(196, 80, 75, 25);
    connect(Btn_Set, &QPushButton::clicked, this, &TFrm_RelvaneRemote::Btn_SetClick);

    setTabOrder(ED_Address, ED_RemotePort);
    setTabOrder(ED_RemotePort, Btn_Abfragen);
    setTabOrder(Btn_Abfragen, Btn_Set);
    PlaceOnScreen();
}

void TFrm_RelvaneRemote::PlaceOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect available = screen->availableGeometry();
    move(available.center() - QPoint(OuterSize.width() / 2, OuterSize.height() / 2));
}

void TFrm_RelvaneRemote::FormCreate() {
    // The POSIX socket layer needs no start-up call, so there is no start
    // failure to report here.
    ED_Address->clear();
    for (const std::string& entry : LoadHistoryFile(HistoryFile)) ED_Address->addItem(QString::fromStdString(entry));

    Settings = RemoteSettings::Load(RemoteSettingsFile);
    ED_RemotePort->setText(QString::number(Settings.RemotePort));
    ED_Address->setEditText(QString::fromStdString(Settings.RemoteHost));
}

void TFrm_RelvaneRemote::FormClose() {
    if (FormClosed) return;
    FormClosed = true;
    // Requests still running are abandoned: their boxes and completions are
    // dropped, which also frees any request waiting on this thread to join.
    UiCall.Close();
    Requests.AbandonAll();
}

void TFrm_RelvaneRemote::AddComboBox(const QString& text) {
    std::vector<std::string> entries;
    for (int i = 0; i < ED_Address->count(); ++i) entries.push_back(ED_Address->itemText(i).toStdString());
    HistoryList history(std::move(entries));
    if (!history.Add(text.toStdString())) return;
    // The first entry of an empty list would become the field's text.
    const QString fieldText = ED_Address->currentText();
    ED_Address->insertItem(0, text);
    if (ED_Address->currentText() != fieldText) ED_Address->setEditText(fieldText);
}

void TFrm_RelvaneRemote::ED_AddressExit() { AddComboBox(ED_Address->currentText()); }

void TFrm_RelvaneRemote::Btn_AbfragenClick() { Requests.Start(*this, Settings.ProxyAddress, 1); }

void TFrm_RelvaneRemote::Btn_SetClick() {
    const Ipv4Bytes targetAddress = InetAddr(ED_Address->currentText().toStdString());
    const uint16_t targetPort = PortFieldValue(ED_RemotePort->displayText().toStdString());
    Requests.Start(*this, Settings.ProxyAddress, 0, targetAddress, targetPort);
}

void TFrm_RelvaneRemote::ThreadDone(const RequestOutcome& request) {
    if (request.IsQuery != 0 && request.Answered) {
        ED_RemotePort->setText(QString::number(request.TargetPort));
        ED_Address->setEditText(QString::fromStdString(FormatDottedQuad(request.TargetAddress)));
    } else if (request.IsQuery != 0) {
        ShowModalErrorBox(QueryFailedText);
    } else if (!request.Answered) {
        ShowModalErrorBox(SetFailedText);
    }
    emit RequestCompleted();
}

void TFrm_RelvaneRemote::ShowModalErrorBox(const QString& text) {
    if (ErrorBoxReplacement) {
        ErrorBoxReplacement(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, "Fehler", text, QMessageBox::Ok, this);
    box.exec();
}

void TFrm_RelvaneRemote::ShowErrorBox(const std::string& text) {
    // Crosses to the UI thread; the work holds copies, never the caller's data.
    UiCall.Run([this, message = QString::fromStdString(text)] { ShowModalErrorBox(message); });
}

void TFrm_RelvaneRemote::Complete(const RequestOutcome& outcome) {
    // Crosses to the UI thread.
    UiCall.Run([this, outcome] { ThreadDone(outcome); });
}

void TFrm_RelvaneRemote::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TFrm_RelvaneRemote::resizeEvent(QResizeEvent* event) {
    Panel1->setGeometry(rect());
    QWidget::resizeEvent(event);
}

// Leaving the address field for another control of this window; opening its
// own drop-down list or switching to another window is no exit.
void TFrm_RelvaneRemote::FocusChanged(QWidget* previous, QWidget* current) {
    if (IsWithin(ED_Address, previous) && current != nullptr && !IsWithin(ED_Address, current) &&
        current->window() == this)
        ED_AddressExit();
}

}  // namespace relvane::remote
