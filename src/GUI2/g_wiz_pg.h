// The base of every wizard page: what happens when a page becomes current,
// when the user presses Next, Cancel or Help, and the two page looks
// (exterior pages with the watermark and a large title, interior pages with
// "Step n of 4", the subtitle and the header bitmap).
//
// A page belongs to the shell's sheet once added; it borrows the shell,
// which outlives it.
#pragma once

#include <QWizardPage>

class QLabel;
class wizard_shell;

class wizard_page : public QWizardPage {
  public:
    explicit wizard_page(wizard_shell& shell);

    // Each time the page becomes current (also when the user comes back):
    // the page's own step runs.
    void on_set_active();
    // Cancel (also Escape and the window's close box): "Are you sure you
    // want to exit the wizard?", No by default; true when the wizard may close.
    virtual bool on_cancel();
    // Help: the manual's page for this page (its topic, or the index).
    virtual void on_help();
    // The wizard is going: work the page runs ends now (the shell calls
    // this before it deletes the pages).
    virtual void end_work() {}

    // Turns the page into an exterior page: the watermark and a large title.
    QLabel* make_exterior(const QString& title);
    // Interior page: "Step <step> of 4" and the subtitle under it.
    void make_interior(int step, const QString& subtitle);

    // The page's id in the sheet (set by wizard_shell::add_page).
    int page_id() const { return page_id_; }
    void set_page_id(int id) { page_id_ = id; }

  protected:
    // The page's activation step.
    virtual void page_init() {}
    // Leaving with Next: false keeps the page (after telling the user why).
    virtual bool on_next() { return true; }
    // The help topic of the page; 0 for the manual's index.
    virtual int help_topic() const { return 0; }

    wizard_shell& shell() { return shell_; }

    bool validatePage() override { return on_next(); }
    int nextId() const override;
    // Activation runs through on_set_active; what the user entered stays
    // when the user goes back.
    void initializePage() override {}
    void cleanupPage() override {}

  private:
    wizard_shell& shell_;
    int page_id_ = -1;
};

// The large title font of the exterior pages.
QFont exterior_title_font();
