// The quaternion angles the host turns tilt readings into. (Forms of the geometry library no
// part of the system calls are left untested.)
#include <gtest/gtest.h>

#include <cmath>

#include "Quat.h"
#include "Vector3d.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kTol = 1e-12;

void expectVec(const Vector3d& v, double x, double y, double z)
{
    EXPECT_NEAR(v.GetX(), x, kTol);
    EXPECT_NEAR(v.GetY(), y, kTol);
    EXPECT_NEAR(v.GetZ(), z, kTol);
}

Quat axisQuat(double angle, double x, double y, double z)
{
    Quat q;
    q.SetFromVector3(angle, Vector3d(x, y, z));
    return q;
}

// q and -q stand for the same rotation.
void expectSameRotation(const Quat& actual, const Quat& e)
{
    const double dot = actual.GetW() * e.GetW() + actual.GetX() * e.GetX() + actual.GetY() * e.GetY() +
                       actual.GetZ() * e.GetZ();
    const Quat a = actual * (dot < 0 ? -1.0 : 1.0);
    EXPECT_NEAR(a.GetW(), e.GetW(), kTol);
    expectVec(Vector3d(a.GetX(), a.GetY(), a.GetZ()), e.GetX(), e.GetY(), e.GetZ());
}

}  // namespace

// The host reads pitch and roll of a tilt sensor through GetAngles.
TEST(Geometry, QuatToAngles)
{
    double x = -1, y = -1, z = -1;
    // Where qx qy + qz qw = +-0.5 the turn about Y goes into the first angle, the middle is +-pi/2.
    for (double sign : {1.0, -1.0}) {
        (axisQuat(0.8, 0, 1, 0) * axisQuat(sign * kPi / 2, 0, 0, 1)).GetAngles(x, y, z);
        EXPECT_NEAR(x, 0.8, 1e-12);
        EXPECT_NEAR(y, sign * kPi / 2, 1e-15);
        EXPECT_EQ(z, 0.0);
    }
    // General branch: the angles rebuild the quaternion as Y(x) * Z(y) * X(z).
    for (const Quat& g : {axisQuat(1.1, 0.2, -0.5, 0.7).Normalize(), axisQuat(-2.4, 1, 1, 0).Normalize()}) {
        g.GetAngles(x, y, z);
        expectSameRotation(axisQuat(x, 0, 1, 0) * axisQuat(y, 0, 0, 1) * axisQuat(z, 1, 0, 0), g);
    }
}
