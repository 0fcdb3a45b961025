#include "wizard/tsl_ora.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "GUI2/g_wiz_sh.h"
#include "ORA/ora_engi.h"
#include "TK/tk_errco.h"
#include "TK/tk_log.h"
#include "TK/tk_threa.h"
#include "TK/tk_utf.h"
#include "core/err_hand.h"
#include "core/tsl_conv.h"
#include "wizard/tsl_shel.h"

namespace {

constexpr int kFrames = 12;
constexpr int kFramePeriodMs = 80;

// A ring of dots with one bright dot that moves round.
QPixmap spinner_frame(int frame) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    for (int i = 0; i < kFrames; ++i) {
        double angle = 2 * M_PI * i / kFrames;
        int age = (frame - i + kFrames) % kFrames;
        QColor colour(40, 90, 160);
        colour.setAlpha(255 - age * 200 / kFrames);
        painter.setBrush(colour);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(16 + 11 * std::cos(angle), 16 + 11 * std::sin(angle)), 2.6,
                            2.6);
    }
    return pixmap;
}

// The Oracle errors for which the manual's connection article helps.
bool is_listener_error(int32_t number) {
    int32_t n = number & 0xFFFF;
    return n == 12500 || n == 12505 || n == 12541 || n == 12545;
}

// The worker of one connect run.
class connect_runnable : public tk_runnable {
  public:
    explicit connect_runnable(std::function<void()> body) : body_(std::move(body)) {}
    void run() override { body_(); }

  private:
    std::function<void()> body_;
};

class connect_thread : public tk_thread {
  public:
    explicit connect_thread(connect_runnable& r) : runnable_(r) {}
    tk_runnable* create_runnable() override { return &runnable_; }

  private:
    connect_runnable& runnable_;
};

}  // namespace

connecting_dialog::connecting_dialog(QWidget* parent) : QDialog(parent) {
    setObjectName("connecting_dialog");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    wizard_shell* shell = wizard_shell::instance_ptr();
    setWindowTitle(shell ? QString::fromStdU16String(shell->title()) : QString("Tessaline"));
    auto* layout = new QHBoxLayout(this);
    icon_ = new QLabel(this);
    icon_->setObjectName("animation");
    icon_->setPixmap(spinner_frame(0));
    layout->addWidget(icon_);
    auto* text = new QLabel("Connecting to Oracle data source.\nPlease wait...", this);
    layout->addWidget(text);
    animation_ = new QTimer(this);
    animation_->setInterval(kFramePeriodMs);
    connect(animation_, &QTimer::timeout, this, [this] { step(); });
    animation_->start();
}

void connecting_dialog::step() {
    frame_ = (frame_ + 1) % kFrames;
    icon_->setPixmap(spinner_frame(frame_));
}

void connecting_dialog::close_from_worker() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            animation_->stop();
            accept();
        },
        Qt::QueuedConnection);
}

ora_settings_page::ora_settings_page(wizard_shell& shell) : wizard_page(shell) {
    setObjectName("ora_settings_page");
    make_interior(1, "Connect to Oracle server");
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(
        "Provide the necessary information to establish connection with Oracle server.\n"
        "Enter the same values that you specify for standard Oracle applications\n"
        "like Oracle Enterpise Manager Console.",
        this);
    layout->addWidget(intro);
    auto* grid = new QGridLayout;
    auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(name);
        return e;
    };
    by_address_ = new QRadioButton("&IP address:", this);
    by_address_->setObjectName("by_address");
    host_ = edit("host");
    auto* port_label = new QLabel("Po&rt:", this);
    port_ = edit("port");
    port_->setMaximumWidth(80);
    port_label->setBuddy(port_);
    by_service_ = new QRadioButton("&Service name:", this);
    by_service_->setObjectName("by_service");
    service_ = edit("service");
    auto* user_label = new QLabel("&Username:", this);
    user_ = edit("user");
    user_label->setBuddy(user_);
    auto* password_label = new QLabel("&Password:", this);
    password_ = edit("password");
    password_->setEchoMode(QLineEdit::Password);
    password_label->setBuddy(password_);
    grid->addWidget(by_address_, 0, 0);
    grid->addWidget(host_, 0, 1);
    grid->addWidget(port_label, 0, 2);
    grid->addWidget(port_, 0, 3);
    grid->addWidget(by_service_, 1, 0);
    grid->addWidget(service_, 1, 1, 1, 3);
    grid->addWidget(user_label, 2, 0);
    grid->addWidget(user_, 2, 1, 1, 3);
    grid->addWidget(password_label, 3, 0);
    grid->addWidget(password_, 3, 1, 1, 3);
    layout->addLayout(grid);
    layout->addStretch();
    connect(by_address_, &QRadioButton::toggled, this, [this] { update_enabled(); });
    connect(by_service_, &QRadioButton::toggled, this, [this] { update_enabled(); });
}

void ora_settings_page::update_enabled() {
    bool address = by_address_->isChecked();
    host_->setEnabled(address);
    port_->setEnabled(address);
    service_->setEnabled(!address);
}

void ora_settings_page::page_init() {
    tk_trace(2, "ora_settings_page::page_init");
    const oracle_converter_impl& ora = tessal_convertor::instance().oracle;
    host_->setText(QString::fromStdU16String(ora.host));
    port_->setText(QString::fromStdU16String(ora.port));
    service_->setText(QString::fromStdU16String(ora.service));
    user_->setText(QString::fromStdU16String(ora.user));
    password_->setText(QString::fromStdU16String(ora.password));
    QRadioButton* chosen = ora.use_tns ? by_service_ : by_address_;
    chosen->setChecked(true);
    update_enabled();
    // The first focus is on the chosen form, not on the first option.
    chosen->setFocus();
}

void ora_settings_page::store() {
    oracle_converter_impl& ora = tessal_convertor::instance().oracle;
    ora.use_tns = by_service_->isChecked();
    std::u16string user = user_->text().toStdU16String();
    std::u16string password = password_->text().toStdU16String();
    ora.store_oracle_settings(service_->text().toStdU16String(), user, password);
    ora.store_oracle_settings(host_->text().toStdU16String(), user, password,
                              port_->text().toStdU16String());
}

bool ora_settings_page::on_next() {
    store();
    const oracle_converter_impl& ora = tessal_convertor::instance().oracle;
    if (ora.use_tns && ora.service.empty()) {
        shell().message(u"You should enter Oracle data source name");
        return false;
    }
    if (!ora.use_tns && ora.host.empty()) {
        shell().message(u"You should enter IP address or network name of Oracle server.");
        return false;
    }
    connecting_dialog dialog(this);
    connect_runnable body([this, &dialog] { connect_run(dialog); });
    connect_thread worker(body);
    worker.start();
    dialog.exec();
    // The run has set the flag before it closed the dialog; the worker's
    // destructor waits for its last steps.
    return connected_;
}

void ora_settings_page::connect_run(connecting_dialog& dialog) {
    tk_trace(2, "oracle_settings_page::animation::operator()");
    connected_ = false;
    try {
        tessal_convertor::instance().oracle.connect_oracle_server();
        connected_ = true;
    } catch (const ora_exception& e) {
        tk_error_converter oracle_texts(ora_error_map_size, ora_error_map);
        std::string text = oracle_texts.convert(e.system_error());
        shell().error(tk::utf8_to_utf16(text.empty() ? e.message() : text));
        if (is_listener_error(e.number()))
            shell().display_help(kHelpConnection);
    } catch (const tk_exception& e) {
        try {
            error_handler::instance().handle(e, false);
        } catch (const tk_final_exception&) {
            // A level-1 report outside a run: the page stays.
        }
    } catch (const std::exception& e) {
        shell().error(tk::utf8_to_utf16(e.what()));
        std::fflush(nullptr);
        std::_Exit(-1);
    }
    dialog.close_from_worker();
}
