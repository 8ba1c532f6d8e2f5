#include "places/undo_steps.h"

#include "places/notes_steps.h"

#include "data/place_pins.h"
#include "platform/errors.h"
#include "tables/table.h"

#include <utility>

namespace corvane {

using namespace notes;

// ---------------------------------------------------------------- places

AddPlaceStep::AddPlaceStep(int placeId, const QString& place)
    : QUndoCommand(QObject::tr("add of %1").arg(quotedPlace(place)))
    , m_placeId(placeId)
    , m_place(place)
{
}

void AddPlaceStep::undo()
{
    platform::Table* places = descrip();
    if (!moveToRecord(places, QStringLiteral("Placeid"), m_placeId))
        throw platform::AppError(QObject::tr("This cannot be undone: the place is no longer there."));
    // Whatever it was given later was undone before; pictures still there
    // (attached before the history began) go to the bin with it.
    if (!rowsOfPlace(pix(), m_placeId).isEmpty()) {
        deletePlaceToBin(m_placeId);
        return;
    }
    ControlsSuspended quiet(places);
    places->deleteRecord();
}

void AddPlaceStep::redo()
{
    if (std::exchange(m_done, false))
        return;
    platform::Table* places = descrip();
    ControlsSuspended quiet(places);
    places->append();
    try {
        places->setFieldValue(QStringLiteral("Placeid"), m_placeId);
        places->setFieldValue(QStringLiteral("Place"), m_place);
        places->post();
    } catch (...) {
        places->cancel();
        throw;
    }
}

DeletePlaceStep::DeletePlaceStep(int placeId, int binId, const QString& place)
    : QUndoCommand(QObject::tr("delete of %1").arg(quotedPlace(place)))
    , m_placeId(placeId)
    , m_binId(binId)
{
}

void DeletePlaceStep::undo()
{
    m_placeId = putBackPlace(m_binId);
}

void DeletePlaceStep::redo()
{
    if (std::exchange(m_done, false))
        return;
    m_binId = deletePlaceToBin(m_placeId, m_binId);
}

PutBackStep::PutBackStep(int binId, int placeId, const QString& place)
    : QUndoCommand(QObject::tr("put back of %1").arg(quotedPlace(place)))
    , m_binId(binId)
    , m_placeId(placeId)
{
}

void PutBackStep::undo()
{
    m_binId = deletePlaceToBin(m_placeId, m_binId);
}

void PutBackStep::redo()
{
    if (std::exchange(m_done, false))
        return;
    m_placeId = putBackPlace(m_binId);
}

// ---------------------------------------------------------------- pictures

AttachPictureStep::AttachPictureStep(const QString& fileName)
    : QUndoCommand(QObject::tr("attach of picture %1").arg(fileName))
    , m_fileName(fileName)
{
}

void AttachPictureStep::undo()
{
    m_aside = setPictureAside(m_fileName);
}

void AttachPictureStep::redo()
{
    if (std::exchange(m_done, false))
        return;
    m_fileName = bringPictureBack(m_aside);
}

// ---------------------------------------------------------------- typing

TypingGroup::TypingGroup(
    platform::Table* table, QString keyField, QString field, Label label, QObject* parent)
    : QObject(parent)
    , m_table(table)
    , m_keyField(std::move(keyField))
    , m_field(std::move(field))
    , m_label(std::move(label))
{
    m_pause.setSingleShot(true);
    m_pause.setInterval(kPauseMs);
    connect(&m_pause, &QTimer::timeout, this, &TypingGroup::close);
    connect(table, &platform::Table::currentRecordChanged, this, &TypingGroup::recordChanged);
    connect(table, &platform::Table::dataSetChanged, this, &TypingGroup::recordChanged);
    addTypingGroupCloser(this, [this] { close(); });
    startAfresh();
}

QVariant TypingGroup::currentKey() const
{
    if (!m_table->active() || m_table->recNo() < 0)
        return {};
    return m_table->fieldValue(m_keyField);
}

void TypingGroup::startAfresh()
{
    m_open = false;
    m_pause.stop();
    m_key = currentKey();
    m_before = m_key.isValid() ? m_table->fieldValue(m_field) : QVariant();
}

void TypingGroup::recordChanged()
{
    const QVariant key = currentKey();
    if (!key.isValid() || key != m_key || m_table->state() == platform::Table::State::Insert) {
        close();
        startAfresh();
        return;
    }
    const QVariant now = m_table->fieldValue(m_field);
    if (m_table->state() == platform::Table::State::Edit && m_table->modified() && !notebookStepRunning()) {
        m_after = now;
        if (!m_open && now.toString() != m_before.toString()) {
            m_open = true;
            m_text = m_label(m_before); // named as it was when the typing began
        }
        if (m_open)
            m_pause.start();
    } else if (!m_open) {
        m_before = now; // stored by someone else, an undo for one
    }
}

void TypingGroup::close()
{
    m_pause.stop();
    if (!std::exchange(m_open, false) || m_after.toString() == m_before.toString())
        return;
    const QVariant before = std::exchange(m_before, m_after);
    notebookHistory()->push(
        new FieldStep(m_table, m_keyField, m_key, { m_field }, { before }, { m_after }, m_text));
}

} // namespace corvane
