// The geometry library the plug-in exports: hosts build on its matrices, vectors and quaternions,
// and read tilt sensors' pitch and roll through the quaternion angles.
#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <new>

#include "Matrix3d.h"
#include "Quat.h"
#include "Vector3d.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kTol = 1e-12;

Matrix M(int rows, int cols, std::initializer_list<double> values)
{
    Matrix mat(rows, cols);
    mat.SetValues(values.begin());
    return mat;
}

void expectMatrixNear(const Matrix& actual, const Matrix& expected)
{
    ASSERT_EQ(actual.NRows(), expected.NRows());
    ASSERT_EQ(actual.NCols(), expected.NCols());
    for (int i = 1; i <= expected.NRows(); ++i)
        for (int j = 1; j <= expected.NCols(); ++j)
            EXPECT_NEAR(actual(i, j), expected(i, j), kTol) << "element (" << i << ", " << j << ")";
}

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

TEST(Geometry, MatrixProductsDeterminantAndEigenvalues)
{
    const Matrix m = M(2, 3, {1, 2, 3, 4, 5, 6}), b = M(3, 2, {7, 8, 9, 10, 11, 12});
    EXPECT_EQ(m(2, 1), 4.0);  // row-major, one-based
    expectMatrixNear(m * b, M(2, 2, {58, 64, 139, 154}));
    expectMatrixNear(m - b.T(), M(2, 3, {-6, -7, -8, -4, -5, -6}));
    EXPECT_THROW(Matrix(16384, 16384), std::bad_array_new_length);  // 2^28 elements
    Matrix vectors, values;
    EXPECT_TRUE(std::isinf(m.Determinant()));
    EXPECT_FALSE(m.Eigenvalues(vectors, values));
    EXPECT_EQ(M(2, 2, {3, 8, 4, 6}).Determinant(), -14.0);
    EXPECT_NEAR(M(4, 4, {1, 0, 2, -1, 3, 0, 0, 5, 2, 1, 4, -3, 1, 0, 5, 0}).Determinant(), 30.0, 1e-9);
    // Symmetric, with a repeated eigenvalue: ascending values on the diagonal, A V = V D.
    const Matrix a = M(3, 3, {2, 1, 1, 1, 2, 1, 1, 1, 2});
    ASSERT_TRUE(a.Eigenvalues(vectors, values));
    expectMatrixNear(values, M(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 4}));
    expectMatrixNear(a * vectors, vectors * values);
}

TEST(Geometry, VectorAnglesAndRotations)
{
    Vector3d v(1, -2, 2), tiny(1e-17, 0, 0);
    EXPECT_EQ(v.normalise(), 3.0);
    expectVec(v, 1.0 / 3, -2.0 / 3, 2.0 / 3);
    EXPECT_EQ(tiny.Normalize().GetX(), 0.0);  // too short to have a direction
    // Plane angles run from 0 to 2 pi.
    const double xy[][3] = {{1, 1, kPi / 4}, {-1, 1, 3 * kPi / 4}, {1, -1, 7 * kPi / 4}, {0, -1, 3 * kPi / 2}};
    for (const auto& c : xy)
        EXPECT_NEAR(Vector3d(c[0], c[1], 0).GetAngleXY(), c[2], kTol) << c[0] << ", " << c[1];
    // Rounding can push the cosine of parallel vectors past 1; it must not give NaN.
    const Vector3d p(0.1, 0.2, 0.3);
    EXPECT_NEAR(p.GetAngleBetween(p * 3.0), 0.0, 1e-7);
    // A third of a turn about (1, 1, 1) carries x to y, by axis and angle, quaternion or matrix.
    const double unit = 1 / std::sqrt(3.0);
    const Quat third = axisQuat(2 * kPi / 3, unit, unit, unit);
    expectVec(Vector3d(1, 0, 0).Rotate(2 * kPi / 3, Vector3d(2, 2, 2)), 0.0, 1.0, 0.0);
    expectVec(third * Vector3d(1, 0, 0), 0.0, 1.0, 0.0);
    expectVec(Vector3d(1, 0, 0).Rotate(third.RotationMatrix()), 0.0, 1.0, 0.0);
}
