#include "components/Accessible.h"

#include "base/Accelerator.h"
#include "base/Failure.h"
#include "components/FlatCtls.h"
#include "components/ImageMp.h"
#include "components/VelmGrad.h"
#include "components/WebLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QString>

namespace {

// The flat tool button: a push button with a name even when it shows only a
// glyph, its pressed and latched states, and a press action that clicks it.
class TFlatButtonAccessible final : public QAccessibleWidget
{
public:
    explicit TFlatButtonAccessible(TFlatButton* button) : QAccessibleWidget(button, QAccessible::Button) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            const QString caption = ParseCaption(Button()->Caption()).Spoken;
            return caption.isEmpty() ? widget()->toolTip() : caption;
        }
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.focusable = false;
        state.pressed = Button()->State() == tsPressed;
        state.checkable = Button()->GroupIndex() != 0;
        state.checked = Button()->Down();
        return state;
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction() && widget()->isEnabled())
            CallHandler([this] { Button()->Click(); });
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    TFlatButton* Button() const { return static_cast<TFlatButton*>(widget()); }
};

// The hyperlink label: a link whose press action opens its address.
class TWebLabelAccessible final : public QAccessibleWidget
{
public:
    explicit TWebLabelAccessible(TWebLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<TWebLabel*>(widget())->text();
        if (t == QAccessible::Value)
            return static_cast<TWebLabel*>(widget())->Address();
        return QAccessibleWidget::text(t);
    }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override
    {
        if (name == pressAction())
            CallHandler([this] { static_cast<TWebLabel*>(widget())->OpenLink(); });
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }
};

// The gradient backdrop and the spinning figure: pictures without meaning.
class TDecorationAccessible final : public QAccessibleWidget
{
public:
    explicit TDecorationAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Graphic) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Description)
            return QCoreApplication::translate("TDecorationAccessible", "Decorative");
        return t == QAccessible::Name ? QString() : QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.focusable = false;
        return state;
    }
};

QAccessibleInterface* Factory(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1StringView("TFlatButton"))
        return new TFlatButtonAccessible(static_cast<TFlatButton*>(widget));
    if (className == QLatin1StringView("TWebLabel"))
        return new TWebLabelAccessible(static_cast<TWebLabel*>(widget));
    if (className == QLatin1StringView("TVelmGradient") || className == QLatin1StringView("TImageMp"))
        return new TDecorationAccessible(widget);
    return nullptr;
}

} // namespace

void InstallAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(Factory);
        return true;
    }();
    Q_UNUSED(installed);
}
