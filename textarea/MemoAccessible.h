#pragma once

class QAccessibleInterface;
class QObject;
class QString;

// Makes the accessible interface of a TMemo: an editable multi-line text
// that screen readers read a part at a time.
QAccessibleInterface* MemoAccessibleFactory(const QString& className, QObject* object);
