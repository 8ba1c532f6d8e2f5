#pragma once
// The notebook's steps that the descriptions window and the bin push onto
// the history (data/notebook_history.h): adding a place, deleting it to the
// bin and putting it back, attaching a picture, and the typing groups of
// the window's text fields. Each is pushed after its change was made.

#include "data/notebook_history.h"
#include "places/place_bin.h"

#include <QObject>
#include <QTimer>
#include <QVariant>

namespace platform {
class Table;
}

namespace corvane {

class AddPlaceStep : public QUndoCommand {
public:
    AddPlaceStep(int placeId, const QString& place);
    void undo() override;
    void redo() override;

private:
    int m_placeId;
    QString m_place;
    bool m_done = true;
};

// Deleting to the bin; its undo puts the place back.
class DeletePlaceStep : public QUndoCommand {
public:
    DeletePlaceStep(int placeId, int binId, const QString& place);
    void undo() override;
    void redo() override;

private:
    int m_placeId;
    int m_binId;
    bool m_done = true;
};

// Putting back from the bin; its undo deletes to the bin again.
class PutBackStep : public QUndoCommand {
public:
    PutBackStep(int binId, int placeId, const QString& place);
    void undo() override;
    void redo() override;

private:
    int m_binId;
    int m_placeId;
    bool m_done = true;
};

class AttachPictureStep : public QUndoCommand {
public:
    explicit AttachPictureStep(const QString& fileName);
    void undo() override;
    void redo() override;

private:
    QString m_fileName;
    SetAsidePicture m_aside;
    bool m_done = true;
};

// Groups what is typed into one field of the current record into one step
// per visit of the record, or per pause in typing.
class TypingGroup : public QObject {
public:
    using Label = std::function<QString(const QVariant& before)>;
    TypingGroup(platform::Table* table, QString keyField, QString field, Label label, QObject* parent);
    void close();
    static constexpr int kPauseMs = 1500;

private:
    void recordChanged();
    void startAfresh();
    QVariant currentKey() const;

    platform::Table* m_table;
    QString m_keyField;
    QString m_field;
    Label m_label;
    QVariant m_key;
    QVariant m_before;
    QVariant m_after;
    bool m_open = false;
    QString m_text;
    QTimer m_pause;
};

} // namespace corvane
