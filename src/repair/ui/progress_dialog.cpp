#include "repair/ui/progress_dialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QTimer>
#include <exception>

#include "platform/qt/ansi_qstring.h"
#include "platform/ui.h"
#include "repair/ui/marquee_bar.h"

namespace quellin::repair {

namespace {}  // namespace

TForm3::TForm3(int repairMode, const RepairSettings& settings, QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      repairMode_(repairMode),
      settings_(settings) {
    setObjectName("TForm3");
    setWindowTitle(kDialogCaption);
    setFixedSize(kClientWidth, kClientHeight);
    setSizeGripEnabled(false);
    QFont designFont(QStringLiteral("MS Sans Serif"));
    designFont.setPixelSize(14);
    setFont(designFont);

    Label1 = new QLabel(kDialogLabel, this);
    Label1->setObjectName("Label1");
    QFont bold(QStringLiteral("MS Sans Serif"));
    bold.setPixelSize(15);
    bold.setBold(true);
    Label1->setFont(bold);
    Label1->move(59, 30);
    Label1->adjustSize();

    ProgressBar1 = new TMarqueeBar(this);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setGeometry(59, 69, 356, 22);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    Timer1->setInterval(kTimerInterval);
    connect(Timer1, &QTimer::timeout, this, &TForm3::Timer1Timer);
    Timer1->start();
}

void TForm3::Timer1Timer() {
    Timer1->stop();
    ticked_ = true;
    running_ = true;
    try {
        outcome_ = RunRepair(repairMode_, settings_, *this);
    } catch (const std::exception& error) {
        // The rest of the sequence is skipped; the dialog stays until the user closes it.
        running_ = false;
        win::ui().ShowError(error.what());
        return;
    }
    running_ = false;
    QDialog::done(QDialog::Accepted);
}

void TForm3::StepStarted(int, const std::string& caption, const std::string& label) {
    if (!caption.empty())
        setWindowTitle(win::QStringFromAnsi(caption));
    if (!label.empty()) {
        Label1->setText(win::QStringFromAnsi(label));
        Label1->adjustSize();
    }
    Repaint();
}

void TForm3::Repaint() {
    ProgressBar1->repaint();
}

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (centred_)
        return;
    centred_ = true;
    if (QWidget* owner = parentWidget()) {
        const QRect area = owner->frameGeometry();
        move(area.x() + (area.width() - frameGeometry().width()) / 2,
             area.y() + (area.height() - frameGeometry().height()) / 2);
    }
}

void TForm3::closeEvent(QCloseEvent* event) {
    // There is no cancel: a close asked for before or while the sequence runs waits for its
    // end, which closes the dialog anyway.
    if (!ticked_ || running_) {
        event->ignore();
        return;
    }
    Timer1->stop();
    QDialog::closeEvent(event);
}

void TForm3::done(int result) {
    // Escape and the like end a dialog without a close event; they wait for the sequence too.
    if (!ticked_ || running_)
        return;
    Timer1->stop();
    QDialog::done(result);
}

}  // namespace quellin::repair
