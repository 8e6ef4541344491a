#pragma once

#include "viewer_database.h"

#include <QDockWidget>

class FramesModel;
class QLabel;
class QTableView;

/// The dock that lists the frames of one stream: number, offset, size, key flag, time,
/// duration and, where the stream's frames have one that differs, the second time. The table
/// is read in windows as it scrolls. Choosing a frame asks for its bytes to be shown.
class FramesPanel : public QDockWidget
{
    Q_OBJECT

public:
    explicit FramesPanel(QWidget *parent = nullptr);
    /// Wide enough for every column of the table beside its scroll bar.
    QSize sizeHint() const override;

    /// Lists the frames of stream, which database lists among its streams.
    void showStream(ViewerDatabase *database, const ViewerDatabase::Stream &stream);
    void clear();
    /// Selects and scrolls to frame number of the shown stream; false when it has none such.
    bool selectFrame(qint64 number);
    /// The stream shown, -1 for none.
    qint64 stream() const;

    QTableView *table() const { return m_table; }
    FramesModel *model() const { return m_model; }
    /// The line over the table naming the stream.
    QLabel *titleLine() const { return m_title; }

signals:
    /// A frame was chosen; offset and size in bytes.
    void frameSelected(qint64 offset, qint64 size);

private:
    void rowChosen(int row);

    FramesModel *m_model;
    QTableView *m_table;
    QLabel *m_title;
};
