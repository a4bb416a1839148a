#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QSizeF>

class QPainter;
class QRandomGenerator;

// One piece of the celebration. Where it is, how far it has turned and how much it shows are a
// function of the time since the confetti came on screen: after its delay it falls to its target
// over three seconds on an ease-in-out curve, turning to its end angle and fading out.
struct ConfettiPiece {
    static constexpr int count = 100;
    static constexpr double fallSeconds = 3.0;
    static constexpr double cornerRadius = 3;

    struct Pose {
        double y;
        double rotation;
        double opacity;
    };

    int id = 0;
    double x = 0;
    double startY = 0;
    double targetY = 0;
    double size = 0;
    QColor color;
    double startRotation = 0;
    double endRotation = 0;
    double delay = 0;
    // Pictures of the piece turned by whole steps of `angleStep` within a quarter turn (a
    // square looks the same a quarter turn on), drawn when first needed: frames only place them.
    static constexpr int angleStep = 5;
    mutable QList<QImage> sprites;

    Pose at(double seconds) const;

    // The ease-in-out timing curve (control points 0.42, 0 and 0.58, 1) at a progress in [0, 1].
    static double easeInOut(double progress);

    // The hundred pieces for a view of the size: red, orange, yellow, green, blue, purple and
    // pink, from 50 to 100 points above the top edge to 50 below the bottom one, 8 to 16 points
    // wide, each starting within half a second and turning to between 720 and 1080 degrees.
    static QList<ConfettiPiece> create(const QSizeF& size, QRandomGenerator& random);

    // The picture of the piece turned by the rotation's nearest step, at the device pixel ratio.
    const QImage& spriteFor(double rotation, qreal ratio) const;

    // The pieces as they stand `seconds` after they came on screen.
    static void paint(QPainter& painter, const QList<ConfettiPiece>& pieces, double seconds);
};
