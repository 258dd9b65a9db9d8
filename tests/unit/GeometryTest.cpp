#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <limits>
#include <new>

#include "Matrix.h"
#include "Matrix3d.h"
#include "Quat.h"
#include "Vector3d.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kTol = 1e-12;
const double kEps = std::numeric_limits<double>::epsilon();

// A matrix from its rows, written out element by element.
Matrix M(int rows, int cols, std::initializer_list<double> values)
{
    Matrix mat(rows, cols);
    mat.SetValues(values.begin());
    return mat;
}

void expectMatrixNear(const Matrix& actual, const Matrix& expected, double tol = kTol)
{
    ASSERT_EQ(actual.NRows(), expected.NRows());
    ASSERT_EQ(actual.NCols(), expected.NCols());
    for (int i = 1; i <= expected.NRows(); ++i)
        for (int j = 1; j <= expected.NCols(); ++j)
            EXPECT_NEAR(actual(i, j), expected(i, j), tol) << "element (" << i << ", " << j << ")";
}

void expectVec(const Vector3d& v, double x, double y, double z)
{
    EXPECT_NEAR(v.GetX(), x, kTol);
    EXPECT_NEAR(v.GetY(), y, kTol);
    EXPECT_NEAR(v.GetZ(), z, kTol);
}

void expectVec(const Vector3d& v, const Vector3d& w) { expectVec(v, w.GetX(), w.GetY(), w.GetZ()); }

void expectQuat(const Quat& q, double w, double x, double y, double z)
{
    EXPECT_NEAR(q.GetW(), w, kTol);
    EXPECT_NEAR(q.GetX(), x, kTol);
    EXPECT_NEAR(q.GetY(), y, kTol);
    EXPECT_NEAR(q.GetZ(), z, kTol);
}

Quat axisQuat(double angle, double x, double y, double z)
{
    Quat q;
    q.SetFromVector3(angle, Vector3d(x, y, z));
    return q;
}

Quat fromMatrix(const Matrix3d& r)
{
    Quat q;
    q.SetFromMatrix3(r);
    return q;
}

// q and -q stand for the same rotation.
void expectSameRotation(const Quat& actual, const Quat& e)
{
    const double dot = actual.GetW() * e.GetW() + actual.GetX() * e.GetX() + actual.GetY() * e.GetY() +
                       actual.GetZ() * e.GetZ();
    expectQuat(actual * (dot < 0 ? -1.0 : 1.0), e.GetW(), e.GetX(), e.GetY(), e.GetZ());
}

// Eigenvalues ascending on the diagonal, A V = V D, and orthonormal eigenvectors.
void expectEigen(const Matrix& a, std::initializer_list<double> expected, Matrix& vectors)
{
    Matrix values;
    ASSERT_TRUE(a.Eigenvalues(vectors, values));
    ASSERT_EQ(values.NRows(), a.NRows());
    int k = 0;
    for (double e : expected) {
        ++k;
        EXPECT_NEAR(values(k, k), e, 1e-12) << "eigenvalue " << k;
    }
    expectMatrixNear(a * vectors, vectors * values, 1e-12);
    Matrix id(a.NRows(), a.NRows());
    id.SetIdentity();
    expectMatrixNear(vectors.T() * vectors, id, 1e-12);
}

}  // namespace

TEST(Geometry, MatrixStorageIsRowMajorWithOneBasedIndices)
{
    Matrix m(2, 3);
    m(2, 1) = 7.0;
    expectMatrixNear(m, M(2, 3, {0, 0, 0, 7, 0, 0}), 0.0);
    EXPECT_EQ(m.GetData()[3], 7.0);

    m = M(2, 3, {1, 2, 3, 4, 5, 6});
    expectMatrixNear(m.Row(2), M(1, 3, {4, 5, 6}), 0.0);
    expectMatrixNear(m.Column(3), M(2, 1, {3, 6}), 0.0);
    expectMatrixNear(m.SubMatrix(1, 2, 2, 3), M(2, 2, {2, 3, 5, 6}), 0.0);
    Matrix target(2, 3);
    target.SetRow(1, m, 2);
    target.SetColumn(3, m, 1);
    expectMatrixNear(target, M(2, 3, {4, 5, 1, 0, 0, 4}), 0.0);

    Matrix copy(m);
    copy(1, 1) = 100.0;
    EXPECT_EQ(m(1, 1), 1.0);  // deep copy
    m.Resize(3, 2);
    expectMatrixNear(m, Matrix(3, 2), 0.0);
    EXPECT_THROW(Matrix(16384, 16384), std::bad_array_new_length);  // 2^28 elements
}

TEST(Geometry, MatrixAppendArithmeticAndTranspose)
{
    const Matrix left = M(2, 2, {1, 2, 3, 4}), column = M(2, 1, {5, 6}), row = M(1, 2, {5, 6});
    expectMatrixNear(left | column, M(2, 3, {1, 2, 5, 3, 4, 6}), 0.0);
    expectMatrixNear(left & row, M(3, 2, {1, 2, 3, 4, 5, 6}), 0.0);
    Matrix built;  // appending to an empty matrix
    built |= column;
    built |= column;
    expectMatrixNear(built, M(2, 2, {5, 5, 6, 6}), 0.0);
    Matrix stacked;
    stacked &= row;
    stacked &= left;
    expectMatrixNear(stacked, M(3, 2, {5, 6, 1, 2, 3, 4}), 0.0);

    const Matrix a = M(2, 3, {1, 2, 3, 4, 5, 6}), b = M(3, 2, {7, 8, 9, 10, 11, 12});
    expectMatrixNear(a * b, M(2, 2, {58, 64, 139, 154}), 0.0);
    Matrix c(a);
    c *= b;
    expectMatrixNear(c, M(2, 2, {58, 64, 139, 154}), 0.0);
    expectMatrixNear(b * a, M(3, 3, {39, 54, 69, 49, 68, 87, 59, 82, 105}), 0.0);
    expectMatrixNear(a.T(), M(3, 2, {1, 4, 2, 5, 3, 6}), 0.0);
    expectMatrixNear(a - b.T(), M(2, 3, {-6, -7, -8, -4, -5, -6}), 0.0);
    expectMatrixNear(a / 0.5, M(2, 3, {2, 4, 6, 8, 10, 12}), 0.0);
    expectMatrixNear(a + 2.0, M(2, 3, {3, 4, 5, 6, 7, 8}), 0.0);
    Matrix e(a);
    e += a;
    e -= a * 0.5;
    e += 1.0;
    e *= 2.0;
    e -= 2.0;
    e /= 2.0;
    expectMatrixNear(e, a * 1.5, 0.0);
}

TEST(Geometry, MatrixSquareOperationsAndDeterminant)
{
    Matrix rect(2, 3), vectors, values;
    EXPECT_FALSE(rect.IsSquare());
    EXPECT_FALSE(rect.SetIdentity());
    EXPECT_EQ(rect(1, 1), 0.0);
    EXPECT_FALSE(rect.IsSymmetric());
    EXPECT_TRUE(std::isinf(rect.Trace()));
    EXPECT_TRUE(std::isinf(rect.Determinant()));
    EXPECT_FALSE(rect.Eigenvalues(vectors, values));

    Matrix id(3, 3);
    EXPECT_TRUE(id.SetIdentity());
    expectMatrixNear(id, M(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1}), 0.0);
    Matrix s = M(3, 3, {1, 2, 3, 2, 4, 5, 3, 5, 6});
    EXPECT_TRUE(s.IsSymmetric());
    EXPECT_EQ(s.Trace(), 11.0);
    s(3, 1) += 1e-9;
    EXPECT_FALSE(s.IsSymmetric());

    EXPECT_EQ(M(1, 1, {-2.5}).Determinant(), -2.5);
    EXPECT_EQ(M(2, 2, {3, 8, 4, 6}).Determinant(), -14.0);
    EXPECT_NEAR(M(3, 3, {6, 1, 1, 4, -2, 5, 2, 8, 7}).Determinant(), -306.0, 1e-9);
    EXPECT_NEAR(M(4, 4, {1, 0, 2, -1, 3, 0, 0, 5, 2, 1, 4, -3, 1, 0, 5, 0}).Determinant(), 30.0, 1e-9);
    // Swapping two rows flips the sign; a repeated row makes it zero.
    EXPECT_NEAR(M(4, 4, {3, 0, 0, 5, 1, 0, 2, -1, 2, 1, 4, -3, 1, 0, 5, 0}).Determinant(), -30.0, 1e-9);
    EXPECT_NEAR(M(3, 3, {1, 2, 3, 4, 5, 6, 1, 2, 3}).Determinant(), 0.0, 1e-12);
}

TEST(Geometry, EigenvaluesOfSymmetricMatrices)
{
    Matrix v;
    expectEigen(M(3, 3, {2, -1, 0, -1, 2, -1, 0, -1, 2}), {2.0 - std::sqrt(2.0), 2.0, 2.0 + std::sqrt(2.0)}, v);
    // The eigenvector of 2 is (1, 0, -1) / sqrt 2, up to sign.
    EXPECT_NEAR(std::fabs(v(1, 2)), std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(v(1, 2) + v(3, 2), 0.0, 1e-12);
    // Tridiagonal Toeplitz 4 by 4: eigenvalues 4 + 2 cos(k pi / 5).
    expectEigen(M(4, 4, {4, 1, 0, 0, 1, 4, 1, 0, 0, 1, 4, 1, 0, 0, 1, 4}),
                {4 + 2 * std::cos(4 * kPi / 5), 4 + 2 * std::cos(3 * kPi / 5), 4 + 2 * std::cos(2 * kPi / 5),
                 4 + 2 * std::cos(kPi / 5)}, v);
    expectEigen(M(3, 3, {2, 1, 1, 1, 2, 1, 1, 1, 2}), {1, 1, 4}, v);  // repeated eigenvalue
    // Already diagonal: the eigenvectors are the axes, sorted by value.
    expectEigen(M(3, 3, {3, 0, 0, 0, 1, 0, 0, 0, 2}), {1, 2, 3}, v);
    EXPECT_NEAR(std::fabs(v(2, 1)), 1.0, 1e-15);
    EXPECT_NEAR(std::fabs(v(3, 2)), 1.0, 1e-15);
    EXPECT_NEAR(std::fabs(v(1, 3)), 1.0, 1e-15);
}

TEST(Geometry, Vector3dNormalisingProductsAndAngles)
{
    expectVec(Vector3d(3, 4, 0, true), 0.6, 0.8, 0.0);
    Vector3d v(1, -2, 2), zero, tiny(1e-17, 0, 0), almostUnit(1.0 + kEps, 0, 0);
    EXPECT_EQ(v.normalise(), 3.0);
    expectVec(v, 1.0 / 3, -2.0 / 3, 2.0 / 3);
    EXPECT_EQ(zero.normalise(), 0.0);
    tiny.Normalize();
    EXPECT_EQ(tiny.GetX(), 0.0);  // too short to have a direction
    almostUnit.Normalize();
    EXPECT_EQ(almostUnit.GetX(), 1.0 + kEps);  // within epsilon of unit: untouched
    EXPECT_FALSE(Vector3d(0, 1e-10, 0).IsZero());

    const Vector3d a(1, 2, 3), b(4, 5, 6);
    EXPECT_EQ(a.Dot(b), 32.0);
    expectVec(a.Cross(b), -3.0, 6.0, -3.0);
    expectVec(Vector3d(1, 0, 0).Cross(Vector3d(0, 1, 0)), 0.0, 0.0, 1.0);
    EXPECT_TRUE(a == Vector3d(1 + kEps, 2, 3));
    EXPECT_TRUE(a != Vector3d(1, 2, 3 + 1e-12));
    Vector3d inv(1, 2, 3);
    inv.InvertX().InvertZ();
    expectVec(inv, -1.0, 2.0, -3.0);

    // Plane angles run from 0 to 2 pi; each plane reads its own components.
    const double xy[][3] = {{1, 1, kPi / 4}, {-1, 1, 3 * kPi / 4}, {-1, -1, 5 * kPi / 4}, {1, -1, 7 * kPi / 4},
                            {-2, 0, kPi},    {0, -1, 3 * kPi / 2}};
    for (const auto& c : xy)
        EXPECT_NEAR(Vector3d(c[0], c[1], 0).GetAngleXY(), c[2], kTol) << c[0] << ", " << c[1];
    EXPECT_NEAR(Vector3d(1, 9, -std::sqrt(3.0)).GetAngleXZ(), 5 * kPi / 3, kTol);
    EXPECT_NEAR(Vector3d(9, -1, std::sqrt(3.0)).GetAngleYZ(), 2 * kPi / 3, kTol);
    EXPECT_NEAR(Vector3d(1, 0, 0).GetAngleBetween(Vector3d(-3, 0, 0)), kPi, kTol);
    EXPECT_EQ(Vector3d(1, 0, 0).GetAngleBetween(Vector3d()), 0.0);
    // Rounding can push the cosine of parallel vectors past 1; it must not give NaN.
    const Vector3d p(0.1, 0.2, 0.3);
    EXPECT_NEAR(p.GetAngleBetween(p * 3.0), 0.0, 1e-7);

    // Quadrant bits: x positive 4, y positive 2, z positive 1; zero counts as not negative.
    for (int q = 0; q < 8; ++q)
        EXPECT_EQ(Vector3d(q & 4 ? 1 : -1, q & 2 ? 1 : -1, q & 1 ? 1 : -1).GetQuadrant(), q);
    EXPECT_EQ(Vector3d().GetQuadrant(), 7);
}

TEST(Geometry, Vector3dRotationsAreRightHanded)
{
    expectVec(Vector3d(0, 1, 0).RotateX(kPi / 2), 0.0, 0.0, 1.0);
    expectVec(Vector3d(0, 0, 1).RotateY(kPi / 2), 1.0, 0.0, 0.0);
    expectVec(Vector3d(1, 0, 0).RotateZ(kPi / 6), std::sqrt(3.0) / 2, 0.5, 0.0);
    const Vector3d v(1, 2, 3);
    expectVec(v.NewRotateY(kPi / 2), 3.0, 2.0, -1.0);
    expectVec(v.NewRotateZ(-kPi / 2), 2.0, -1.0, 3.0);
    expectVec(v, 1.0, 2.0, 3.0);  // New* leave the vector alone

    // X first, then Y, then Z, all about the fixed axes.
    expectVec(Vector3d(0, 1, 0).Rotate(kPi / 2, kPi / 2, 0), 1.0, 0.0, 0.0);
    expectVec(v.NewRotate(0.3, -0.7, 1.1), v.NewRotateX(0.3).NewRotateY(-0.7).NewRotateZ(1.1));
    // A third of a turn about (1, 1, 1) carries x to y; the axis length does not matter.
    expectVec(Vector3d(1, 0, 0).Rotate(2 * kPi / 3, Vector3d(2, 2, 2)), 0.0, 1.0, 0.0);

    Matrix3d swapXY;
    swapXY(1, 2) = 1.0;
    swapXY(2, 1) = 1.0;
    swapXY(3, 3) = -1.0;
    expectVec(Vector3d(1, 2, 3).Rotate(swapXY), 2.0, 1.0, -3.0);
}

TEST(Geometry, QuatHamiltonProductInverseAndNormalize)
{
    expectQuat(Quat(), 1.0, 0.0, 0.0, 0.0);
    const Quat i(0, 1, 0, 0), j(0, 0, 1, 0), k(0, 0, 0, 1);
    expectQuat(i * j, 0.0, 0.0, 0.0, 1.0);
    expectQuat(j * i, 0.0, 0.0, 0.0, -1.0);
    expectQuat(i * j * k, -1.0, 0.0, 0.0, 0.0);
    const Quat p(1, 2, 3, 4), q(5, 6, 7, 8);
    expectQuat(p * q, -60.0, 12.0, 30.0, 24.0);
    expectQuat(q * p, -60.0, 20.0, 14.0, 32.0);
    EXPECT_TRUE(p == Quat(1 + kEps, 2, 3, 4));
    EXPECT_FALSE(p == Quat(1, 2, 3.000001, 4));

    Quat inv(p);
    inv.Invert();
    expectQuat(inv, 1.0 / 30, -2.0 / 30, -3.0 / 30, -4.0 / 30);
    Quat c(p);
    c.Conjugate();
    expectQuat(c, 1.0, -2.0, -3.0, -4.0);
    EXPECT_FALSE(p.IsUnit());
    EXPECT_TRUE(Quat(0.5, -0.5, 0.5, 0.5).IsUnit());
    EXPECT_FALSE(Quat(1.0 + 1e-15, 0, 0, 0).IsUnit());
    Quat n(p);
    n.Normalize();
    expectQuat(n, 1 / std::sqrt(30.0), 2 / std::sqrt(30.0), 3 / std::sqrt(30.0), 4 / std::sqrt(30.0));
}

TEST(Geometry, QuatAxisAngleRoundTrip)
{
    expectQuat(axisQuat(kPi / 2, 0, 0, 1), std::sqrt(0.5), 0.0, 0.0, std::sqrt(0.5));
    expectQuat(axisQuat(kPi, 0, 2, 0), 0.0, 0.0, 2.0, 0.0);  // the axis is used as given

    const Vector3d axes[] = {Vector3d(1, 0, 0), Vector3d(0, -1, 0), Vector3d(1, 2, -2, true)};
    for (const Vector3d& axis : axes)
        for (double angle : {0.1, kPi / 2, 3.0, 4.0, 6.0}) {
            Quat q;
            q.SetFromVector3(angle, axis);
            EXPECT_TRUE(q.IsUnit());
            double outAngle = 0;
            Vector3d outAxis;
            q.GetToVector3(outAngle, outAxis);
            EXPECT_NEAR(outAngle, angle, 1e-12);
            expectVec(outAxis, axis);
        }
    double angle = -1;
    Vector3d axis;
    Quat().GetToVector3(angle, axis);
    EXPECT_EQ(angle, 0.0);
    EXPECT_NEAR(axis.Length(), 1.0, 1e-15);
}

TEST(Geometry, QuatFromAnglesAndBackToRollPitchYaw)
{
    // SetFromAngles(a, b, c) is X(a) first, then Y(b), then Z(c): Z(c) * Y(b) * X(a).
    const double a = 0.4, b = -0.9, c = 2.5;
    Quat q;
    q.SetFromAngles(a, b, c);
    expectSameRotation(q, axisQuat(c, 0, 0, 1) * axisQuat(b, 0, 1, 0) * axisQuat(a, 1, 0, 0));
    const Vector3d v(0.3, -1.2, 0.8);
    expectVec(q * v, v.NewRotate(a, b, c));

    // The general forms undo SetFromAngles, whatever the length (except the yaw's asin).
    EXPECT_NEAR(q.getYaw(false), b, 1e-12);
    EXPECT_NEAR((q * 3.0).getPitch(false), a, 1e-12);
    EXPECT_NEAR((q * 3.0).getRoll(false), c, 1e-12);
    EXPECT_NEAR(q.getRoll(true), c, 1e-12);
    // The unit forms read a single-axis turn exactly.
    EXPECT_NEAR(axisQuat(0.7, 1, 0, 0).getPitch(true), 0.7, 1e-12);
    EXPECT_NEAR(axisQuat(-1.3, 0, 1, 0).getYaw(true), -1.3, 1e-12);
    EXPECT_NEAR(axisQuat(0.7, 1, 0, 0).getRoll(true), 0.0, 1e-12);

    // SFA2XYZ is X(a) * Y(b) * Z(c), so Z acts first; SFA2XZY is X(a) * Z(c) * Y(b).
    Quat xyz, xzy;
    xyz.SFA2XYZ(a, b, c);
    xzy.SFA2XZY(a, b, c);
    expectVec(xyz * v, v.NewRotateZ(c).NewRotateY(b).NewRotateX(a));
    expectVec(xzy * v, v.NewRotateY(b).NewRotateZ(c).NewRotateX(a));
}

TEST(Geometry, QuatGetAnglesBranches)
{
    double a = -1, b = -1, c = -1;
    Quat(0.7071068, 0.7071068, 0, 0).GetAngles(a, b, c);  // quarter turn about X
    EXPECT_NEAR(a, 0.0, 1e-12);
    EXPECT_NEAR(b, 0.0, 1e-12);
    EXPECT_NEAR(c, kPi / 2, 1e-6);

    // x y + z w = +-0.5: the turn about Y goes into a, the middle angle is +-pi/2 and c is 0.
    for (double sign : {1.0, -1.0}) {
        (axisQuat(0.8, 0, 1, 0) * axisQuat(sign * kPi / 2, 0, 0, 1)).GetAngles(a, b, c);
        EXPECT_NEAR(a, 0.8, 1e-12);
        EXPECT_NEAR(b, sign * kPi / 2, 1e-15);
        EXPECT_EQ(c, 0.0);
    }
    // General branch: the angles rebuild the quaternion as Y(a) * Z(b) * X(c).
    for (const Quat& q : {axisQuat(1.1, 0.2, -0.5, 0.7).Normalize(), axisQuat(-2.4, 1, 1, 0).Normalize()}) {
        q.GetAngles(a, b, c);
        EXPECT_LT(std::fabs(b), kPi / 2);
        expectSameRotation(axisQuat(a, 0, 1, 0) * axisQuat(b, 0, 0, 1) * axisQuat(c, 1, 0, 0), q);
    }
}

TEST(Geometry, QuatRotationMatrixAgreesWithQuaternionRotation)
{
    expectMatrixNear(axisQuat(kPi / 2, 0, 0, 1).RotationMatrix(), M(3, 3, {0, -1, 0, 1, 0, 0, 0, 0, 1}));
    const Vector3d v(0.5, -1.5, 2.0);
    // The last one is not of unit length.
    for (const Quat& q : {axisQuat(0.9, 1, -2, 0.5).Normalize(), axisQuat(3.0, 0, 1, 0), Quat(2, -1, 0.5, 3)}) {
        const Matrix3d r = q.RotationMatrix();
        expectVec(Vector3d(v).Rotate(r), q * v);
        expectVec(Vector3d(v).Rotate(q), q * v);
        EXPECT_NEAR(r.Determinant(), 1.0, 1e-12);
        expectVec(q.GetXAxis(), q * Vector3d(1, 0, 0));
        Vector3d ey, ez;
        q.GetYAxis(ey);
        q.GetZAxis(ez);
        expectVec(ey, q * Vector3d(0, 1, 0));
        expectVec(ez, q * Vector3d(0, 0, 1));
        Quat unit(q);
        unit.Normalize();
        expectSameRotation(fromMatrix(r), unit);

        const Matrix h = q.ToMatrix();
        expectMatrixNear(h.SubMatrix(1, 1, 3, 3), r);
        expectMatrixNear(h.Row(4), M(1, 4, {0, 0, 0, 1}), 0.0);
        expectMatrixNear(h.Column(4), M(4, 1, {0, 0, 0, 1}), 0.0);
        Matrix3d viaSet;
        viaSet.SetRotation(q);
        expectMatrixNear(viaSet, r);
    }
    // Each branch of SetFromMatrix3: half turns about each axis have trace -1.
    expectSameRotation(fromMatrix(axisQuat(kPi, 1, 0, 0).RotationMatrix()), Quat(0, 1, 0, 0));
    expectSameRotation(fromMatrix(axisQuat(kPi, 0, 1, 0).RotationMatrix()), Quat(0, 0, 1, 0));
    expectSameRotation(fromMatrix(axisQuat(kPi, 0, 0, 1).RotationMatrix()), Quat(0, 0, 0, 1));
    // Of q and -q the one with w >= 0 comes back: a turn by 4 about Z has cos 2 < 0 as its w.
    expectQuat(fromMatrix(axisQuat(4.0, 0, 0, 1).RotationMatrix()), -std::cos(2.0), 0.0, 0.0, -std::sin(2.0));
}

TEST(Geometry, Matrix3dRotationsRowsAndQuarterTurns)
{
    Matrix3d m;
    m.SetRow(1, Vector3d(1, 2, 3));
    m.SetColumn(3, Vector3d(7, 8, 9));
    expectVec(m.Row(1), 1.0, 2.0, 7.0);
    expectVec(m.Column(3), 7.0, 8.0, 9.0);

    Matrix3d r;
    r.SetRotation(1.2, Vector3d(0, 3, 4));
    expectMatrixNear(r, axisQuat(1.2, 0, 0.6, 0.8).RotationMatrix());
    r.SetRotation(0.4, -0.9, 2.5);
    Quat q;
    q.SetFromAngles(0.4, -0.9, 2.5);
    expectMatrixNear(r, q.RotationMatrix());

    // The quarter turns equal a left product with the rotation by +-pi/2 about the axis.
    Matrix3d base;
    base.SetValues(std::initializer_list<double>{1, 2, 3, 4, 5, 6, 7, 8, 10}.begin());
    const Vector3d axes[] = {Vector3d(1, 0, 0), Vector3d(0, 1, 0), Vector3d(0, 0, 1)};
    for (int axis = 0; axis < 3; ++axis)
        for (bool positive : {true, false}) {
            Matrix3d turned(base), rotation;
            if (axis == 0)
                turned.RotateXBy90(positive);
            else if (axis == 1)
                turned.RotateYBy90(positive);
            else
                turned.RotateZBy90(positive);
            rotation.SetRotation(positive ? kPi / 2 : -kPi / 2, axes[axis]);
            expectMatrixNear(turned, rotation * base);
        }
    // Flag true on the identity about X: row 2 = -(old row 3), row 3 = old row 2.
    Matrix3d id;
    id.SetIdentity();
    id.RotateXBy90(true);
    expectMatrixNear(id, M(3, 3, {1, 0, 0, 0, 0, -1, 0, 1, 0}), 0.0);
}

TEST(GeometryDeathTest, IndexAndShapeErrorsStopWithTheCondition)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Matrix m(2, 3);
    EXPECT_DEATH(m(3, 1) = 1.0, "i >= 1 && i <= m");
    EXPECT_DEATH(m(1, 0) = 1.0, "j >= 1 && j <= n");
    EXPECT_DEATH(m.SetRow(1, Matrix(1, 3), 2), "ii >= 1 && ii <= mat.m");
    EXPECT_DEATH(m * m, "n == mat.m");
    EXPECT_DEATH(m += Matrix(3, 3), "m == mat.m");
    EXPECT_DEATH(m -= Matrix(2, 2), "n == mat.n");
    Matrix3d r;
    EXPECT_DEATH(r.SetRow(4, Vector3d()), "row >= 1 && row <= 3");
    EXPECT_DEATH(Vector3d(1, 2, 3).Perpendicular(), "false");
}
