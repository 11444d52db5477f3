#pragma once

#include <QAction>
#include <QMetaObject>

class TFlatButton;

// Carries a later change of an action's Checked, help context and image
// index to the button, each only while the button's value still equals the
// action's former one (the property is "linked"). The action's values are
// remembered at each change, since Qt tells of a change after it happened.
class TFlatButtonActionLink final
{
public:
    TFlatButtonActionLink(TFlatButton& client, QAction& action);
    ~TFlatButtonActionLink();
    Q_DISABLE_COPY_MOVE(TFlatButtonActionLink)

    bool IsCheckedLinked() const;
    bool IsHelpContextLinked() const;
    bool IsImageIndexLinked() const;
    void SetChecked(bool value);
    void SetHelpContext(int value);
    void SetImageIndex(int value);
    // The action changed: passes on what changed and is linked.
    void ActionChanged();
    // Takes the action's present values as the ones to compare with.
    void Remember();

private:
    TFlatButton& FClient;
    QAction& FAction;
    bool FChecked = false;
    int FHelpContext = 0;
    int FImageIndex = -1;
    QMetaObject::Connection FChanged;
};
