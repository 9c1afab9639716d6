// The runner against small stand-in windows: what each action does to real Qt controls, modal
// windows opened by a click, and how a run fails.
#include "runner.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>

namespace quellin::script {

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "runner_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

constexpr win::HWND kHandle = 0x77;

QJsonObject Get(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toObject();
}

// Drags the way the classic toolkit does it, with the mouse alone: press on an item, move past
// the threshold, and the list under the cursor at release takes the item.
class MouseDragList : public QListWidget {
  public:
    explicit MouseDragList(const char* name) {
        setObjectName(name);
        viewport()->installEventFilter(this);
    }
    QListWidget* dropTarget = nullptr;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
            type != QEvent::MouseButtonRelease)
            return false;
        auto* mouse = static_cast<QMouseEvent*>(event);
        switch (type) {
            case QEvent::MouseButtonPress:
                pressed_ = itemAt(mouse->position().toPoint());
                start_ = mouse->position().toPoint();
                dragging_ = false;
                break;
            case QEvent::MouseMove:
                if (pressed_ && (mouse->buttons() & Qt::LeftButton) &&
                    (mouse->position().toPoint() - start_).manhattanLength() >
                        QApplication::startDragDistance())
                    dragging_ = true;
                break;
            case QEvent::MouseButtonRelease:
                if (dragging_ && pressed_ && dropTarget) {
                    QWidget* under = QApplication::widgetAt(mouse->globalPosition().toPoint());
                    if (under == dropTarget->viewport())
                        dropTarget->addItem(takeItem(row(pressed_)));
                }
                pressed_ = nullptr;
                dragging_ = false;
                break;
            default:
                break;
        }
        return false;
    }

  private:
    QListWidgetItem* pressed_ = nullptr;
    QPoint start_;
    bool dragging_ = false;
};

class MainStandIn : public QWidget {
  public:
    MainStandIn() {
        setObjectName("TForm1");
        setWindowTitle("Main");
        auto* layout = new QVBoxLayout(this);
        list = new QListWidget;
        list->setObjectName("ListBox10");
        list->addItems({"Alpha PDF", "Beta PDF"});
        layout->addWidget(list);
        open = new QPushButton("Open");
        open->setObjectName("BitBtn10");
        layout->addWidget(open);
        result = new QLabel("none");
        result->setObjectName("Label1");
        layout->addWidget(result);
        auto* disabled = new QPushButton("Never");
        disabled->setObjectName("BitBtn20");
        disabled->setEnabled(false);
        layout->addWidget(disabled);
        auto* timer = new QTimer(this);
        timer->setObjectName("Timer1");
        timer->setInterval(3000);
        connect(list, &QListWidget::itemDoubleClicked, this,
                [this](QListWidgetItem* item) { result->setText("double " + item->text()); });
        connect(open, &QPushButton::clicked, this, [this] { OpenDialog(); });
        resize(300, 300);
    }

    // A modal window made for one use, as the program's dialogs are.
    void OpenDialog() {
        QDialog dialog(this);
        dialog.setObjectName("TForm2");
        dialog.setWindowTitle("Dialog");
        auto* layout = new QVBoxLayout(&dialog);
        auto* edit = new QLineEdit("old");
        edit->setObjectName("edtWidth");
        auto* box = new QCheckBox("Option");
        box->setObjectName("cb300");
        auto* radio1 = new QRadioButton("One");
        radio1->setObjectName("RadioButton1");
        radio1->setChecked(true);
        auto* radio2 = new QRadioButton("Two");
        radio2->setObjectName("RadioButton2");
        auto* combo = new QComboBox;
        combo->setObjectName("cmbDefRes");
        combo->addItems({"300", "600"});
        auto* left = new MouseDragList("ListBox1");
        left->addItems({"A4", "Letter"});
        auto* right = new MouseDragList("ListBox2");
        left->dropTarget = right;
        auto* save = new QPushButton("Save");
        save->setObjectName("btnSave");
        for (QWidget* w :
             std::initializer_list<QWidget*>{edit, box, radio1, radio2, combo, left, right, save})
            layout->addWidget(w);
        QString activated;
        connect(combo, &QComboBox::activated, &dialog,
                [&](int index) { activated = combo->itemText(index); });
        connect(save, &QPushButton::clicked, &dialog, &QDialog::accept);
        dialog.resize(250, 500);
        if (dialog.exec() == QDialog::Accepted) {
            QStringList moved;
            for (int i = 0; i < right->count(); ++i)
                moved << right->item(i)->text();
            result->setText(QString("%1|%2|%3|%4|%5")
                                .arg(edit->text())
                                .arg(box->isChecked())
                                .arg(radio2->isChecked())
                                .arg(activated)
                                .arg(moved.join(',')));
        } else {
            result->setText("cancelled");
        }
    }

    QListWidget* list;
    QPushButton* open;
    QLabel* result;
};

// A window with a menu whose items answer to shortcuts, as the job monitor's do.
class MenuStandIn : public QWidget {
  public:
    MenuStandIn() {
        setObjectName("TMain");
        auto* layout = new QVBoxLayout(this);
        auto* bar = new QMenuBar;
        layout->setMenuBar(bar);
        QMenu* jobs = bar->addMenu("Jobs");
        jobs->setObjectName("Jobs1");
        auto* remove = jobs->addAction("Delete Selected Item");
        remove->setObjectName("DeleteSelectedItem1");
        remove->setShortcut(QKeySequence(Qt::Key_Delete));
        auto* monitoring = jobs->addAction("Monitoring");
        monitoring->setObjectName("Monitoring1");
        monitoring->setCheckable(true);
        monitoring->setChecked(true);
        status = new QLabel("idle");
        status->setObjectName("Label1");
        layout->addWidget(status);
        connect(remove, &QAction::triggered, this, [this] { status->setText("deleted"); });
        resize(300, 200);
    }
    QLabel* status;
};

class RunnerTest : public testing::Test {
  protected:
    void SetUp() override { App(); }
    void TearDown() override { std::filesystem::remove(path_); }

    // Runs `text` against `main` until the main window closes or the run fails.
    int Run(const std::string& text, QWidget& main, int timeoutMs = 3000) {
        auto parsed = script::Parse(text);
        EXPECT_TRUE(std::holds_alternative<std::vector<script::Action>>(parsed));
        int code;
        {
            script::Transcript transcript(path_.string());
            script::Runner runner(std::get<std::vector<script::Action>>(parsed), transcript);
            runner.SetActionTimeout(timeoutMs);
            win::SetUserInterface(&runner.Ui());
            runner.RunLeadingLines();
            runner.Start(&main, kHandle);
            main.show();
            QApplication::exec();
            code = runner.Finish();
            win::SetUserInterface(nullptr);
        }
        events_.clear();
        std::ifstream in(path_);
        for (std::string line; std::getline(in, line);) {
            QJsonParseError error;
            auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
            events_.push_back(doc.object());
        }
        return code;
    }
    std::vector<QJsonObject> Events(const QString& kind) const {
        std::vector<QJsonObject> found;
        for (const auto& event : events_) {
            if (event["event"].toString() == kind)
                found.push_back(event);
        }
        return found;
    }
    QJsonObject Failure() const {
        auto failed = Events("failed");
        return failed.empty() ? QJsonObject() : failed.front();
    }

    std::filesystem::path path_ = std::filesystem::temp_directory_path() /
                                  ("runner_test_" + std::to_string(::getpid()) + ".jsonl");
    std::vector<QJsonObject> events_;
};

TEST_F(RunnerTest, ActionsInsideAModalWindowOpenedByAClick) {
    MainStandIn main;
    int code = Run(R"(
        click TForm1.BitBtn10
        type TForm2.edtWidth "210"
        check TForm2.cb300
        check TForm2.RadioButton2
        select TForm2.cmbDefRes "600"
        drag TForm2.ListBox1 "Letter" TForm2.ListBox2
        dump TForm2
        click TForm2.btnSave
        dump TForm1
        close TForm1
    )",
                   main);
    EXPECT_EQ(code, 0) << Failure()["reason"].toString().toStdString();
    EXPECT_EQ(main.result->text(), "210|1|1|600|Letter");

    auto shown = Events("shown");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1]["form"].toString(), "TForm2");
    EXPECT_EQ(shown[1]["caption"].toString(), "Dialog");
    auto closed = Events("closed");
    ASSERT_EQ(closed.size(), 2u);
    EXPECT_EQ(closed[0]["form"].toString(), "TForm2");
    EXPECT_EQ(closed[1]["form"].toString(), "TForm1");
    EXPECT_EQ(events_.back()["event"].toString(), "end");

    auto dumps = Events("dump");
    ASSERT_EQ(dumps.size(), 2u);
    QJsonObject dialog = dumps[0]["controls"].toObject();
    EXPECT_EQ(Get(dialog, "edtWidth")["type"].toString(), "edit");
    EXPECT_EQ(Get(dialog, "edtWidth")["text"].toString(), "210");
    EXPECT_EQ(Get(dialog, "cb300")["type"].toString(), "checkbox");
    EXPECT_TRUE(Get(dialog, "cb300")["checked"].toBool());
    EXPECT_FALSE(Get(dialog, "RadioButton1")["checked"].toBool());
    EXPECT_EQ(Get(dialog, "cmbDefRes")["text"].toString(), "600");
    EXPECT_EQ(Get(dialog, "ListBox1")["items"].toArray().size(), 1);
    EXPECT_EQ(Get(dialog, "ListBox2")["items"].toArray().at(0).toString(), "Letter");
    // The dialog's controls are not the main window's.
    QJsonObject mainControls = dumps[1]["controls"].toObject();
    EXPECT_FALSE(mainControls.contains("edtWidth"));
    EXPECT_EQ(Get(mainControls, "Label1")["caption"].toString(), "210|1|1|600|Letter");
    EXPECT_FALSE(Get(mainControls, "BitBtn20")["enabled"].toBool());
    EXPECT_EQ(Get(mainControls, "Timer1")["type"].toString(), "timer");
    EXPECT_EQ(Get(mainControls, "Timer1")["interval"].toInt(), 3000);
}

TEST_F(RunnerTest, ListsSelectAndDoubleClickAsAMouseDoes) {
    MainStandIn main;
    int code = Run(R"(
        select TForm1.ListBox10 "Beta PDF"
        dump TForm1
        select TForm1.ListBox10 none
        dump TForm1
        dblclick TForm1.ListBox10 "Alpha PDF"
    )",
                   main);
    EXPECT_EQ(code, 0) << Failure()["reason"].toString().toStdString();
    auto dumps = Events("dump");
    ASSERT_EQ(dumps.size(), 2u);
    QJsonObject list = Get(dumps[0], "controls")["ListBox10"].toObject();
    EXPECT_EQ(list["type"].toString(), "listbox");
    EXPECT_EQ(list["items"].toArray().size(), 2);
    EXPECT_EQ(list["selected"].toArray().at(0).toString(), "Beta PDF");
    EXPECT_TRUE(Get(Get(dumps[1], "controls"), "ListBox10")["selected"].toArray().isEmpty());
    EXPECT_EQ(main.result->text(), "double Alpha PDF");
}

TEST_F(RunnerTest, MenuItemsByClickAndByShortcut) {
    MainStandIn main;
    MenuStandIn menu;
    QTimer::singleShot(0, &menu, [&] { menu.show(); });
    int code = Run(R"(
        key TMain "Del"
        dump TMain
        uncheck TMain.Monitoring1
        dump TMain
        close TMain
    )",
                   main);
    EXPECT_EQ(code, 0) << Failure()["reason"].toString().toStdString();
    auto dumps = Events("dump");
    ASSERT_EQ(dumps.size(), 2u);
    EXPECT_EQ(Get(Get(dumps[0], "controls"), "Label1")["caption"].toString(), "deleted");
    QJsonObject item = Get(dumps[0], "controls")["DeleteSelectedItem1"].toObject();
    EXPECT_EQ(item["type"].toString(), "menuitem");
    EXPECT_EQ(item["shortcut"].toString(), "Del");
    EXPECT_TRUE(Get(Get(dumps[0], "controls"), "Monitoring1")["checked"].toBool());
    EXPECT_FALSE(Get(Get(dumps[1], "controls"), "Monitoring1")["checked"].toBool());
}

struct FailingScript {
    const char* name;
    const char* script;
    int exitCode;
    int line;
    const char* reasonPart;
};

class RunnerFailures : public RunnerTest, public testing::WithParamInterface<FailingScript> {};

TEST_P(RunnerFailures, EndTheRunWithTheReason) {
    MainStandIn main;
    int code = Run(GetParam().script, main, 300);
    EXPECT_EQ(code, GetParam().exitCode);
    QJsonObject failure = Failure();
    EXPECT_EQ(failure["line"].toInt(), GetParam().line);
    EXPECT_TRUE(failure["reason"].toString().contains(GetParam().reasonPart))
        << failure["reason"].toString().toStdString();
    ASSERT_FALSE(events_.empty());
    EXPECT_EQ(events_.back()["exit"].toInt(), GetParam().exitCode);
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, RunnerFailures,
    testing::ValuesIn(std::vector<FailingScript>{
        {"unknown_control", "dump TForm1\nclick TForm1.BitBtn99", 2, 2,
         "TForm1 has no control named BitBtn99"},
        {"action_that_does_not_fit", "type TForm1.ListBox10 \"x\"", 2, 1, "not an edit box"},
        {"radio_cannot_be_unchecked", "click TForm1.BitBtn10\nuncheck TForm2.RadioButton1", 2, 2,
         "cannot uncheck"},
        {"window_never_shown", "dump TForm3", 1, 1, "TForm3 was not shown"},
        {"missing_item", "select TForm1.ListBox10 \"Gamma\"", 1, 1,
         "no item \"Gamma\" (items: Alpha PDF | Beta PDF)"},
        {"disabled_button", "click TForm1.BitBtn20", 1, 1, "BitBtn20 is disabled"},
        {"behind_a_modal_window", "click TForm1.BitBtn10\nclick TForm1.BitBtn10", 1, 2,
         "behind the modal window TForm2"},
        {"answer_never_used", "answer yes\nwait 10", 1, 1, "used by no box"},
        {"unwritable_screenshot", "screenshot TForm1 \"/nonexistent/x.png\"", 1, 1,
         "cannot write the screenshot"},
    }),
    [](const testing::TestParamInfo<FailingScript>& info) { return std::string(info.param.name); });

TEST_F(RunnerTest, TheLastLineClosesTheModalWindowsAndThenTheMainWindow) {
    MainStandIn main;
    EXPECT_EQ(Run("click TForm1.BitBtn10\ndump TForm2", main), 0);
    EXPECT_EQ(main.result->text(), "cancelled");
    auto closed = Events("closed");
    ASSERT_EQ(closed.size(), 2u);
    EXPECT_EQ(closed[1]["form"].toString(), "TForm1");
}

}  // namespace

}  // namespace quellin::script
