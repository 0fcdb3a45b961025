// Step 1 of 4, "Connect to Oracle server": the connection values (service
// name, or address and port; user; password) and the logon, which runs on a
// worker thread while the connecting dialog animates. The wizard goes on
// only after a successful logon.
#pragma once

#include <QDialog>
#include <atomic>

#include "GUI2/g_wiz_pg.h"

class QLabel;
class QLineEdit;
class QRadioButton;
class QTimer;

// "Connecting to Oracle data source.\nPlease wait..." with an animated
// icon; closed by the connect run (close_from_worker).
class connecting_dialog : public QDialog {
  public:
    explicit connecting_dialog(QWidget* parent = nullptr);
    // Stops the animation and closes the dialog; callable from any thread.
    void close_from_worker();
    // The user cannot close it (Escape, the window's close button): the
    // page would then wait for a worker that may be waiting for the page.
    void reject() override {}

  private:
    void step();

    QLabel* icon_;
    QTimer* animation_;
    int frame_ = 0;
};

class ora_settings_page : public wizard_page {
  public:
    explicit ora_settings_page(wizard_shell& shell);

  protected:
    void page_init() override;
    bool on_next() override;

  private:
    void update_enabled();
    void store();
    // The connect run (on the worker); sets connected_ on success.
    void connect_run(connecting_dialog& dialog);

    QRadioButton* by_address_;
    QRadioButton* by_service_;
    QLineEdit* host_;
    QLineEdit* port_;
    QLineEdit* service_;
    QLineEdit* user_;
    QLineEdit* password_;
    std::atomic<bool> connected_{false};
};
