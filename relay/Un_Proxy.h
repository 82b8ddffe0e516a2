#pragma once
// The relay's main window Frm_Relvane: the target (server text and port),
// the history list, the connection count, the debug switch with the log
// panel, and the start and end of the relay engine.
//
// Geometry: the window's height() is taken as its outer height, so the
// design size 389 x 258 leaves the log panel the 165 pixels below Panel1
// (the window frame takes no part of height()). The debug switch grows the
// window by the log panel's design height (136) and shrinks it by the
// panel's actual height, so a log panel that the user resized comes back
// 136 pixels high.

#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "relay/QtWindowOperations.h"
#include "relay/RelayEngine.h"
#include "relay/UiThreadInvoker.h"
#include "shared/History.h"
#include "shared/IniSettings.h"
#include "shared/PortField.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QStatusBar;
class QTimer;

namespace relvane {

struct RelayWindowOptions {
    // The remote-control allow list of the settings file, when set, replaces
    // the one given here.
    EngineSettings Engine;
    // Set when the program runs without a display.
    std::optional<HeadlessConsole> Headless;
};

class TFrm_Relvane : public QWidget {
    Q_OBJECT

public:
    static constexpr int DesignWidth = 389;
    static constexpr int DesignHeight = 258;
    static constexpr int Panel1DesignHeight = 93;
    static constexpr int LogPanelDesignHeight = 136;
    // The log keeps its newest lines only: a relay that runs for weeks must
    // not grow without end.
    static constexpr int LogLineLimit = 5000;
    static inline const char* const Banner = "Relvane 0.95 - Quake and QuakeWorld relay";

    // Builds the window and runs FormCreate in the current directory.
    explicit TFrm_Relvane(RelayWindowOptions options = {}, QWidget* parent = nullptr);
    ~TFrm_Relvane() override;  // FormClose()

    // Event handlers, UI thread.
    void FormCreate();
    void FormClose();
    void Timer1Timer();
    void CB_DebugClick();
    void ED_AddressExit();
    void AddComboBox(const QString& text);

    // What the window operations do on the UI thread.
    QString ServerText() const;
    QString PortText() const;  // the displayed text: blanks stay in
    void SetTargetFields(uint16_t port, const QString& addressText);
    void AppendLogLine(const QString& line);
    void ScrollLogToLastLine();
    void ShowErrorBox(const QString& text);

    // The port the IPv4 listener got (0: not started or its set-up failed).
    uint16_t Ipv4ListenerPort() const { return Ipv4Port; }
    RelayCounters& Counters() { return Engine->Counters(); }
    const HistoryList& History() const { return HistoryEntries; }
    // What the engine calls; any thread.
    QtWindowOperations& Operations() { return WindowOps; }
    // Window operations handed over by endpoints and not yet started.
    size_t PendingWindowOperations() const { return Invoker.PendingTasks(); }

    // Controls, named as in the form; owned by the Qt object tree.
    QFrame* Panel1 = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* ED_Address = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* ED_RemotePort = nullptr;
    QLabel* Label3 = nullptr;
    QFrame* Bevel1 = nullptr;
    QLabel* Lbl_Connections = nullptr;
    QCheckBox* CB_Debug = nullptr;
    QFrame* Panel2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QFrame* Panel4 = nullptr;
    QFrame* Panel3 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    std::array<QLabel*, 2> StatusPanels{};  // the status bar's two text panels
    QTimer* Timer1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildPanel1();
    void BuildPanel2();
    void BuildStatusBar(QFrame* parent);
    // Places Panel1 and the log panel as their alignment says.
    void AlignPanels();
    void CreateEngine(const IniSettings& settings);
    void FillHistory(const std::vector<std::string>& entries);
    void WatchAddressFocus();
    void StartListeners(bool ipv4, bool ipx);

    HistoryList HistoryEntries;  // mirrors the drop-down list of ED_Address
    uint16_t LocalPort = DefaultPort;
    uint16_t RemotePort = DefaultPort;
    uint16_t Ipv4Port = 0;
    bool Panel1FillsWindow = false;
    int Panel1Height = Panel1DesignHeight;  // while aligned to the top
    QMetaObject::Connection AddressFocusWatch;
    bool Centered = false;
    bool Closed = false;

    EngineSettings EngineConfig;
    UiThreadInvoker Invoker;
    QtWindowOperations WindowOps;
    // Declared last, so that it goes first: its threads use all of the above.
    // Created by FormCreate, once the settings are read.
    std::unique_ptr<RelayEngine> Engine;
};

}  // namespace relvane
