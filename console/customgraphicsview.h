#pragma once

#include <QGraphicsView>
#include <QRectF>
#include <QVector>

#include <functional>

class QCloseEvent;
class QGraphicsScene;
class QResizeEvent;

// A top-level view that always shows the whole 1024 x 768 console scene,
// stretched independently in width and height to the window's size, and
// tells its console when the user closes the window.
class CustomGraphicsView : public QGraphicsView
{
    Q_OBJECT

public:
    CustomGraphicsView(QGraphicsScene* scene, QWidget* parent = nullptr);

    double horizontalScale() const { return m_scaleX; }
    double verticalScale() const { return m_scaleY; }

    // Scene rectangles that items paint opaquely whenever they are painted
    // (the line panels); the background is not filled under them.
    using OpaqueAreas = std::function<QVector<QRectF>()>;
    void setOpaqueAreas(OpaqueAreas areas) { m_opaqueAreas = std::move(areas); }

signals:
    void closing();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void drawBackground(QPainter* painter, const QRectF& rect) override;

private:
    double m_scaleX = 1.0;
    double m_scaleY = 1.0;
    OpaqueAreas m_opaqueAreas;
};
