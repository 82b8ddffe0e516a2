#pragma once
// The remote client's main window Frm_RelvaneRemote: the relay's game server
// as an address field with a history list and a port field, and two buttons,
// Query and Set, each of which starts one request. The relay asked is fixed at
// start-up from the settings file.
//
// Threads: everything here runs on the UI thread, except the two RequestUi
// calls, which request threads make and which hand their work over to the UI
// thread through UiCall while the request waits.

#include <QWidget>

#include <functional>

#include "remote/RemoteSettings.h"
#include "remote/RequestPool.h"
#include "remote/RequestUi.h"
#include "remote/UiThreadCall.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace relvane::remote {

class TFrm_RelvaneRemote : public QWidget, private RequestUi {
    Q_OBJECT

public:
    // Takes the place of the modal error box: headless runs print the text,
    // tests record it. Runs on the UI thread, like the box.
    using ErrorBoxHook = std::function<void(const QString& text)>;

    // Builds the window and runs FormCreate.
    explicit TFrm_RelvaneRemote(ErrorBoxHook errorBoxHook = {}, QWidget* parent = nullptr);
    ~TFrm_RelvaneRemote() override;  // FormClose, if the window was never closed

    void FormCreate();
    void FormClose();
    void AddComboBox(const QString& text);
    void ED_AddressExit();
    void Btn_AbfragenClick();
    void Btn_SetClick();
    void ThreadDone(const RequestOutcome& request);

    // A modal error box (critical icon, title "Fehler", one button "OK");
    // returns once dismissed.
    void ShowModalErrorBox(const QString& text);

    // Requests not yet released.
    size_t RequestCount() const { return Requests.Count(); }

    // The controls, named as in the form.
    QFrame* Panel1;
    QLabel* Label2;
    QLabel* Label1;
    QComboBox* ED_Address;
    QLineEdit* ED_RemotePort;
    QPushButton* Btn_Abfragen;
    QPushButton* Btn_Set;

    // Read by FormCreate, unchanged afterwards: RemotePort, ProxyPort,
    // ProxyHost, ProxyAddress.
    RemoteSettings Settings;

signals:
    // ThreadDone has handled a finished request.
    void RequestCompleted();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // RequestUi. Safe to call from any thread.
    void ShowErrorBox(const std::string& text) override;
    // RequestUi. Safe to call from any thread.
    void Complete(const RequestOutcome& outcome) override;

    void BuildControls();
    void PlaceOnScreen();
    void FocusChanged(QWidget* previous, QWidget* current);

    ErrorBoxHook ErrorBoxReplacement;
    QMetaObject::Connection FocusWatch;
    UiThreadCall UiCall;
    RequestPool Requests;  // destroyed before UiCall, which its requests may call
    bool FormClosed = false;
};

}  // namespace relvane::remote
