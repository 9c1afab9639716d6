#include "dump.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QSet>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>
#include <utility>

#include "transcript.h"

namespace quellin::script {

namespace {

json::Value JsonList(const QStringList& items) {
    json::Value list = json::Value::Array();
    for (const QString& item : items)
        list.Push(JsonQ(item));
    return list;
}

QString CellText(const QAbstractItemModel* model, int row, int column) {
    return model->data(model->index(row, column), Qt::DisplayRole).toString();
}

// The column a list box shows; a list view's rows are keyed by their first column.
int KeyColumn(const QAbstractItemView* view) {
    if (auto* list = qobject_cast<const QListView*>(view))
        return list->modelColumn();
    return 0;
}

void AddItemView(JsonObject& out, const QAbstractItemView* view) {
    const QAbstractItemModel* model = view->model();
    const bool listBox = qobject_cast<const QListView*>(view) != nullptr;
    out.Text("type", listBox ? "listbox" : "listview");
    if (!model) {
        out.Set("items", json::Value::Array()).Set("selected", json::Value::Array());
        return;
    }
    const int key = KeyColumn(view);
    json::Value items = json::Value::Array();
    for (int row = 0; row < model->rowCount(); ++row) {
        if (listBox) {
            items.Push(JsonQ(CellText(model, row, key)));
        } else {
            QStringList cells;
            for (int column = 0; column < model->columnCount(); ++column)
                cells << CellText(model, row, column);
            items.Push(JsonList(cells));
        }
    }
    out.Set("items", std::move(items));
    if (!listBox) {
        QStringList columns;
        for (int column = 0; column < model->columnCount(); ++column)
            columns << model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        out.Set("columns", JsonList(columns));
    }
    QStringList selected;
    json::Value selectedRows =
        json::Value::Array();  // a list view's selected rows, all their cells
    if (const QItemSelectionModel* selection = view->selectionModel()) {
        for (int row = 0; row < model->rowCount(); ++row) {
            if (selection->isRowSelected(row, QModelIndex()) ||
                selection->isSelected(model->index(row, key))) {
                selected << CellText(model, row, key);
                QStringList cells;
                for (int column = 0; column < model->columnCount(); ++column)
                    cells << CellText(model, row, column);
                selectedRows.Push(JsonList(cells));
            }
        }
    }
    out.Set("selected", listBox ? JsonList(selected) : std::move(selectedRows));
}

json::Value FontJson(const QWidget* widget) {
    const QFont font = widget->font();
    int pixels = font.pixelSize();
    if (pixels <= 0)
        pixels = qRound(font.pointSizeF() * widget->logicalDpiY() / 72.0);
    JsonObject out;
    out.Utf8("name", font.family().toStdString()).Int("pixels", pixels);
    out.Bool("bold", font.bold()).Bool("italic", font.italic());
    out.Bool("underline", font.underline()).Bool("strikeout", font.strikeOut());
    out.Int("color", WindowsColor(widget->palette().color(widget->foregroundRole())));
    return out.Json();
}

unsigned FaceColor(const QWidget* widget) {
    // A control that keeps its own colour says so through a "color" property.
    const QVariant own = widget->property("color");
    bool ok = false;
    const unsigned value = own.isValid() ? own.toUInt(&ok) : 0;
    if (ok)
        return value;
    return WindowsColor(widget->palette().color(widget->backgroundRole()));
}

void AddTag(JsonObject& out, const QObject* object) {
    const QVariant tag = object->property("tag");
    bool ok = false;
    const long long value = tag.isValid() ? tag.toLongLong(&ok) : 0;
    if (ok)
        out.Int("tag", value);
}

json::Value WidgetJson(QWidget* widget, QWidget* form) {
    JsonObject out;
    if (auto* view = qobject_cast<QAbstractItemView*>(widget)) {
        AddItemView(out, view);
    } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        out.Text("type", "checkbox").Utf8("caption", box->text().toStdString());
    } else if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
        out.Text("type", "radiobutton").Utf8("caption", radio->text().toStdString());
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        out.Text("type", "button").Utf8("caption", button->text().toStdString());
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        out.Text("type", "label").Utf8("caption", label->text().toStdString());
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        out.Text("type", "edit").Utf8("text", edit->text().toStdString());
    } else if (auto* spin = qobject_cast<QAbstractSpinBox*>(widget)) {
        out.Text("type", "edit").Utf8("text", spin->text().toStdString());
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(widget)) {
        out.Text("type", "memo").Utf8("text", memo->toPlainText().toStdString());
    } else if (auto* rich = qobject_cast<QTextEdit*>(widget)) {
        out.Text("type", "memo").Utf8("text", rich->toPlainText().toStdString());
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        out.Text("type", "combobox").Utf8("text", combo->currentText().toStdString());
        out.Set("items", JsonList(items));
        out.Set("selected", JsonList(combo->currentIndex() >= 0 ? QStringList{combo->currentText()}
                                                                : QStringList{}));
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        out.Text("type", "groupbox").Utf8("caption", group->title().toStdString());
    } else if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
        out.Text("type", "progressbar").Int("position", bar->value());
        out.Int("min", bar->minimum()).Int("max", bar->maximum());
    } else if (qobject_cast<QMenuBar*>(widget)) {
        out.Text("type", "menubar");
    } else {
        out.Text("type", "panel");
    }
    out.Text("class", ScriptClassName(widget));
    if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->isCheckable())
        out.Bool("checked", button->isChecked());
    if (auto* group = qobject_cast<QGroupBox*>(widget); group && group->isCheckable())
        out.Bool("checked", group->isChecked());
    out.Bool("visible", widget->isVisibleTo(form) && !widget->isHidden());
    out.Bool("enabled", widget->isEnabled());
    const QRect geometry = widget->geometry();
    out.Int("left", geometry.x()).Int("top", geometry.y());
    out.Int("width", geometry.width()).Int("height", geometry.height());
    out.Int("color", FaceColor(widget));
    out.Set("font", FontJson(widget));
    AddTag(out, widget);
    return out.Json();
}

json::Value ActionJson(const QAction* action) {
    JsonObject out;
    out.Text("type", "menuitem").Utf8("caption", action->text().toStdString());
    out.Bool("visible", action->isVisible()).Bool("enabled", action->isEnabled());
    if (action->isCheckable())
        out.Bool("checked", action->isChecked());
    out.Utf8("shortcut", action->shortcut().toString().toStdString());
    AddTag(out, action);
    return out.Json();
}

json::Value TimerJson(const QTimer* timer) {
    JsonObject out;
    out.Text("type", "timer").Bool("enabled", timer->isActive()).Int("interval", timer->interval());
    AddTag(out, timer);
    return out.Json();
}

bool IsOwnName(const QString& name) {
    return !name.isEmpty() && !name.startsWith("qt_");
}

}  // namespace

const QWidget* OwningWindow(const QObject* object) {
    for (const QObject* o = object; o; o = o->parent()) {
        auto* widget = qobject_cast<const QWidget*>(o);
        // A menu pops up as a window of its own but belongs to the window of its menu bar.
        if (widget && widget->window()->windowType() != Qt::Popup)
            return widget->window();
    }
    return nullptr;
}

unsigned WindowsColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    return static_cast<unsigned>(rgb.red()) | static_cast<unsigned>(rgb.green()) << 8 |
           static_cast<unsigned>(rgb.blue()) << 16;
}

json::Value JsonQ(const QString& text) {
    return json::Value::Utf8(text.toStdString());
}

std::string ScriptClassName(const QObject* object) {
    std::string_view name = object->metaObject()->className();
    constexpr std::string_view kOwn = "quellin::";
    if (name.starts_with(kOwn))
        name.remove_prefix(kOwn.size());
    return std::string(name);
}

JsonObject DumpEvent(QWidget* form) {
    JsonObject controls;
    QSet<QString> seen;
    for (QObject* object : form->findChildren<QObject*>()) {
        const QString name = object->objectName();
        if (!IsOwnName(name) || seen.contains(name) || OwningWindow(object) != form)
            continue;
        json::Value json;
        if (auto* widget = qobject_cast<QWidget*>(object)) {
            if (auto* menu = qobject_cast<QMenu*>(widget))
                json = ActionJson(menu->menuAction());
            else
                json = WidgetJson(widget, form);
        } else if (auto* action = qobject_cast<QAction*>(object)) {
            json = ActionJson(action);
        } else if (auto* timer = qobject_cast<QTimer*>(object)) {
            json = TimerJson(timer);
        } else {
            continue;
        }
        seen.insert(name);
        controls.Set(name.toStdString(), std::move(json));
    }
    JsonObject event;
    event.Text("event", "dump").Utf8("form", form->objectName().toStdString());
    event.Utf8("caption", form->windowTitle().toStdString());
    event.Int("width", form->width()).Int("height", form->height());
    event.Set("controls", controls.Json());
    return event;
}

}  // namespace quellin::script
