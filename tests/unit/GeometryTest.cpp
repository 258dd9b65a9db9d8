#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <new>

#include "Matrix.h"
#include "Matrix3d.h"
#include "Quat.h"
#include "Vector3d.h"

namespace {

const double kPi = 3.14159265358979323846;
const double kTol = 1e-12;
const double kHalfSqrt2 = std::sqrt(0.5);

#define EXPECT_VEC_NEAR(v, ex, ey, ez)        \
    do {                                      \
        const Vector3d vv_ = (v);             \
        EXPECT_NEAR(vv_.GetX(), (ex), kTol);  \
        EXPECT_NEAR(vv_.GetY(), (ey), kTol);  \
        EXPECT_NEAR(vv_.GetZ(), (ez), kTol);  \
    } while (0)

#define EXPECT_QUAT_NEAR(q, ew, ex, ey, ez)   \
    do {                                      \
        const Quat qq_ = (q);                 \
        EXPECT_NEAR(qq_.GetW(), (ew), kTol);  \
        EXPECT_NEAR(qq_.GetX(), (ex), kTol);  \
        EXPECT_NEAR(qq_.GetY(), (ey), kTol);  \
        EXPECT_NEAR(qq_.GetZ(), (ez), kTol);  \
    } while (0)

Matrix fromRows(int rows, int cols, const double* values)
{
    Matrix mat(rows, cols);
    mat.SetValues(values);
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
void expectSameRotation(const Quat& actual, const Quat& expected)
{
    const double sign = (actual.GetW() * expected.GetW() + actual.GetX() * expected.GetX() +
                         actual.GetY() * expected.GetY() + actual.GetZ() * expected.GetZ()) < 0
                            ? -1.0
                            : 1.0;
    EXPECT_QUAT_NEAR(actual * sign, expected.GetW(), expected.GetX(), expected.GetY(),
                     expected.GetZ());
}

}  // namespace

TEST(Geometry, MatrixStorageIsRowMajorWithOneBasedIndices)
{
    Matrix m(2, 3);
    EXPECT_EQ(m.NRows(), 2);
    EXPECT_EQ(m.NCols(), 3);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(m.GetData()[k], 0.0);
    m(2, 1) = 7.0;
    EXPECT_EQ(m.GetData()[3], 7.0);

    const double values[] = {1, 2, 3, 4, 5, 6};
    m.SetValues(values);
    EXPECT_EQ(m(1, 3), 3.0);
    EXPECT_EQ(m(2, 2), 5.0);

    const Matrix row = m.Row(2);
    EXPECT_EQ(row.NRows(), 1);
    EXPECT_EQ(row.NCols(), 3);
    EXPECT_EQ(row(1, 1), 4.0);
    EXPECT_EQ(row(1, 3), 6.0);
    const Matrix col = m.Column(3);
    EXPECT_EQ(col.NRows(), 2);
    EXPECT_EQ(col.NCols(), 1);
    EXPECT_EQ(col(1, 1), 3.0);
    EXPECT_EQ(col(2, 1), 6.0);

    Matrix target(2, 3);
    target.SetRow(1, m, 2);
    target.SetColumn(3, m, 1);
    EXPECT_EQ(target(1, 1), 4.0);
    EXPECT_EQ(target(1, 2), 5.0);
    EXPECT_EQ(target(1, 3), 1.0);
    EXPECT_EQ(target(2, 3), 4.0);
    EXPECT_EQ(target(2, 1), 0.0);

    const Matrix sub = m.SubMatrix(1, 2, 2, 3);
    const double subValues[] = {2, 3, 5, 6};
    expectMatrixNear(sub, fromRows(2, 2, subValues), 0.0);

    Matrix copy(m);
    copy(1, 1) = 100.0;
    EXPECT_EQ(m(1, 1), 1.0);  // deep copy

    m.Resize(3, 2);
    EXPECT_EQ(m.NRows(), 3);
    EXPECT_EQ(m.NCols(), 2);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(m.GetData()[k], 0.0);
    copy.Resize(Matrix(1, 4));
    EXPECT_EQ(copy.NRows(), 1);
    EXPECT_EQ(copy.NCols(), 4);
    EXPECT_EQ(copy(1, 1), 0.0);

    EXPECT_THROW(Matrix(16384, 16384), std::bad_array_new_length);  // 2^28 elements
}

TEST(Geometry, MatrixAppendOperatorsJoinColumnsAndRows)
{
    const double a[] = {1, 2, 3, 4};
    const double b[] = {5, 6};
    const Matrix left = fromRows(2, 2, a);
    const Matrix column = fromRows(2, 1, b);
    const Matrix row = fromRows(1, 2, b);

    const double joinedColumns[] = {1, 2, 5, 3, 4, 6};
    expectMatrixNear(left | column, fromRows(2, 3, joinedColumns), 0.0);
    const double joinedRows[] = {1, 2, 3, 4, 5, 6};
    expectMatrixNear(left & row, fromRows(3, 2, joinedRows), 0.0);

    // Building up from an empty matrix.
    Matrix built;
    built |= column;
    built |= column;
    const double twice[] = {5, 5, 6, 6};
    expectMatrixNear(built, fromRows(2, 2, twice), 0.0);
    Matrix stacked;
    stacked &= row;
    stacked &= left;
    const double rowsThenLeft[] = {5, 6, 1, 2, 3, 4};
    expectMatrixNear(stacked, fromRows(3, 2, rowsThenLeft), 0.0);
}

TEST(Geometry, MatrixArithmeticProductAndTranspose)
{
    const double av[] = {1, 2, 3, 4, 5, 6};
    const double bv[] = {7, 8, 9, 10, 11, 12};
    const Matrix a = fromRows(2, 3, av);
    const Matrix b = fromRows(3, 2, bv);

    // [1 2 3; 4 5 6] * [7 8; 9 10; 11 12] = [58 64; 139 154]
    const double productValues[] = {58, 64, 139, 154};
    expectMatrixNear(a * b, fromRows(2, 2, productValues), 0.0);
    const Matrix ba = b * a;
    EXPECT_EQ(ba.NRows(), 3);
    EXPECT_EQ(ba.NCols(), 3);
    EXPECT_EQ(ba(1, 1), 39.0);  // 7*1 + 8*4
    EXPECT_EQ(ba(3, 3), 105.0);  // 11*3 + 12*6

    Matrix c(a);
    c *= b;
    EXPECT_EQ(c.NRows(), 2);
    EXPECT_EQ(c.NCols(), 2);
    EXPECT_EQ(c(2, 1), 139.0);

    const Matrix t = a.T();
    EXPECT_EQ(t.NRows(), 3);
    EXPECT_EQ(t.NCols(), 2);
    EXPECT_EQ(t(3, 1), 3.0);
    EXPECT_EQ(t(1, 2), 4.0);
    expectMatrixNear((a * b).T(), b.T() * a.T(), 0.0);

    const double sumValues[] = {8, 11, 14, 12, 15, 18};
    expectMatrixNear(a + b.T(), fromRows(2, 3, sumValues), 0.0);
    const double diffValues[] = {-6, -7, -8, -4, -5, -6};
    expectMatrixNear(a - b.T(), fromRows(2, 3, diffValues), 0.0);
    Matrix d(a);
    d += a;
    d -= a * 0.5;
    expectMatrixNear(d, a * 1.5, 0.0);

    const double scaled[] = {2, 4, 6, 8, 10, 12};
    expectMatrixNear(2.0 * a, fromRows(2, 3, scaled), 0.0);
    expectMatrixNear(a / 0.5, fromRows(2, 3, scaled), 0.0);
    const double shifted[] = {3, 4, 5, 6, 7, 8};
    expectMatrixNear(a + 2.0, fromRows(2, 3, shifted), 0.0);
    expectMatrixNear((a + 2.0) - 2.0, a, 0.0);
    Matrix e(a);
    e += 1.0;
    e *= 2.0;
    e -= 2.0;
    e /= 2.0;
    expectMatrixNear(e, a, 0.0);
}

TEST(Geometry, MatrixSquareOperationsTraceIdentityAndSymmetry)
{
    Matrix rect(2, 3);
    EXPECT_FALSE(rect.IsSquare());
    EXPECT_FALSE(rect.SetIdentity());
    EXPECT_EQ(rect(1, 1), 0.0);
    EXPECT_FALSE(rect.IsSymmetric());
    EXPECT_TRUE(std::isinf(rect.Trace()));
    EXPECT_TRUE(std::isinf(rect.Determinant()));

    Matrix id(3, 3);
    EXPECT_TRUE(id.SetIdentity());
    EXPECT_EQ(id(2, 2), 1.0);
    EXPECT_EQ(id(2, 3), 0.0);
    EXPECT_EQ(id.Trace(), 3.0);
    EXPECT_EQ(id.Determinant(), 1.0);

    const double sym[] = {1, 2, 3, 2, 4, 5, 3, 5, 6};
    Matrix s = fromRows(3, 3, sym);
    EXPECT_TRUE(s.IsSymmetric());
    EXPECT_EQ(s.Trace(), 11.0);
    s(3, 1) += 1e-9;
    EXPECT_FALSE(s.IsSymmetric());
}

TEST(Geometry, DeterminantMatchesKnownValues)
{
    const double m1[] = {-2.5};
    EXPECT_EQ(fromRows(1, 1, m1).Determinant(), -2.5);
    const double m2[] = {3, 8, 4, 6};
    EXPECT_EQ(fromRows(2, 2, m2).Determinant(), -14.0);
    const double m3[] = {6, 1, 1, 4, -2, 5, 2, 8, 7};
    EXPECT_NEAR(fromRows(3, 3, m3).Determinant(), -306.0, 1e-9);
    const double m4[] = {1, 0, 2, -1, 3, 0, 0, 5, 2, 1, 4, -3, 1, 0, 5, 0};
    EXPECT_NEAR(fromRows(4, 4, m4).Determinant(), 30.0, 1e-9);
    // Swapping two rows flips the sign; a repeated row makes it zero.
    const double m4swapped[] = {3, 0, 0, 5, 1, 0, 2, -1, 2, 1, 4, -3, 1, 0, 5, 0};
    EXPECT_NEAR(fromRows(4, 4, m4swapped).Determinant(), -30.0, 1e-9);
    const double singular[] = {1, 2, 3, 4, 5, 6, 1, 2, 3};
    EXPECT_NEAR(fromRows(3, 3, singular).Determinant(), 0.0, 1e-12);
}

TEST(Geometry, EigenvaluesOfSymmetricMatrices)
{
    Matrix vectors, values;
    EXPECT_FALSE(Matrix(2, 3).Eigenvalues(vectors, values));

    // [2 -1 0; -1 2 -1; 0 -1 2] has eigenvalues 2 - sqrt 2, 2, 2 + sqrt 2.
    const double tri[] = {2, -1, 0, -1, 2, -1, 0, -1, 2};
    const Matrix a = fromRows(3, 3, tri);
    ASSERT_TRUE(a.Eigenvalues(vectors, values));
    ASSERT_EQ(values.NRows(), 3);
    ASSERT_EQ(values.NCols(), 3);
    ASSERT_EQ(vectors.NRows(), 3);
    ASSERT_EQ(vectors.NCols(), 3);
    EXPECT_NEAR(values(1, 1), 2.0 - std::sqrt(2.0), 1e-12);
    EXPECT_NEAR(values(2, 2), 2.0, 1e-12);
    EXPECT_NEAR(values(3, 3), 2.0 + std::sqrt(2.0), 1e-12);
    EXPECT_EQ(values(1, 2), 0.0);
    EXPECT_EQ(values(3, 1), 0.0);
    // The eigenvector of 2 is (1, 0, -1) / sqrt 2, up to sign.
    EXPECT_NEAR(std::fabs(vectors(1, 2)), kHalfSqrt2, 1e-12);
    EXPECT_NEAR(vectors(2, 2), 0.0, 1e-12);
    EXPECT_NEAR(vectors(1, 2) + vectors(3, 2), 0.0, 1e-12);
    expectMatrixNear(a * vectors, vectors * values, 1e-12);
    Matrix identity(3, 3);
    identity.SetIdentity();
    expectMatrixNear(vectors.T() * vectors, identity, 1e-12);

    // Tridiagonal Toeplitz 4 by 4: eigenvalues 4 + 2 cos(k pi / 5), k = 1..4.
    const double toeplitz[] = {4, 1, 0, 0, 1, 4, 1, 0, 0, 1, 4, 1, 0, 0, 1, 4};
    const Matrix b = fromRows(4, 4, toeplitz);
    ASSERT_TRUE(b.Eigenvalues(vectors, values));
    for (int k = 1; k <= 4; ++k)
        EXPECT_NEAR(values(k, k), 4.0 + 2.0 * std::cos((5 - k) * kPi / 5.0), 1e-12);
    expectMatrixNear(b * vectors, vectors * values, 1e-12);

    // Already diagonal: the eigenvectors are the axes, sorted by value.
    const double diag[] = {3, 0, 0, 0, 1, 0, 0, 0, 2};
    ASSERT_TRUE(fromRows(3, 3, diag).Eigenvalues(vectors, values));
    EXPECT_NEAR(values(1, 1), 1.0, 1e-15);
    EXPECT_NEAR(values(2, 2), 2.0, 1e-15);
    EXPECT_NEAR(values(3, 3), 3.0, 1e-15);
    EXPECT_NEAR(std::fabs(vectors(2, 1)), 1.0, 1e-15);
    EXPECT_NEAR(std::fabs(vectors(3, 2)), 1.0, 1e-15);
    EXPECT_NEAR(std::fabs(vectors(1, 3)), 1.0, 1e-15);

    // A dense 3 by 3 with a repeated eigenvalue: [2 1 1; 1 2 1; 1 1 2] -> 1, 1, 4.
    const double ones[] = {2, 1, 1, 1, 2, 1, 1, 1, 2};
    const Matrix c = fromRows(3, 3, ones);
    ASSERT_TRUE(c.Eigenvalues(vectors, values));
    EXPECT_NEAR(values(1, 1), 1.0, 1e-12);
    EXPECT_NEAR(values(2, 2), 1.0, 1e-12);
    EXPECT_NEAR(values(3, 3), 4.0, 1e-12);
    expectMatrixNear(c * vectors, vectors * values, 1e-12);
    expectMatrixNear(vectors.T() * vectors, identity, 1e-12);
}

TEST(Geometry, Vector3dBasicsNormalisingAndProducts)
{
    const Vector3d unit(3, 4, 0, true);
    EXPECT_NEAR(unit.Length(), 1.0, 1e-15);
    EXPECT_VEC_NEAR(unit, 0.6, 0.8, 0.0);
    const Vector3d all(2.0);
    EXPECT_VEC_NEAR(all, 2.0, 2.0, 2.0);
    EXPECT_VEC_NEAR(Vector3d(2.0, true), 1 / std::sqrt(3.0), 1 / std::sqrt(3.0), 1 / std::sqrt(3.0));

    Vector3d v(1, -2, 2);
    EXPECT_EQ(v.GetY2(), 4.0);
    EXPECT_EQ(v.normalise(), 3.0);
    EXPECT_VEC_NEAR(v, 1.0 / 3, -2.0 / 3, 2.0 / 3);
    Vector3d zero;
    EXPECT_EQ(zero.normalise(), 0.0);
    EXPECT_TRUE(zero.IsZero());

    Vector3d n(0, 0, 5);
    EXPECT_VEC_NEAR(n.Normalize(), 0.0, 0.0, 1.0);
    Vector3d tiny(1e-17, 0, 0);
    tiny.Normalize();
    EXPECT_EQ(tiny.GetX(), 0.0);  // too short to have a direction
    const double eps = std::numeric_limits<double>::epsilon();
    Vector3d almostUnit(1.0 + eps, 0, 0);
    almostUnit.Normalize();
    EXPECT_EQ(almostUnit.GetX(), 1.0 + eps);  // within epsilon of unit: untouched
    EXPECT_FALSE(Vector3d(0, 1e-10, 0).IsZero());

    const Vector3d a(1, 2, 3), b(4, 5, 6);
    EXPECT_EQ(a.Dot(b), 32.0);
    EXPECT_VEC_NEAR(a.Cross(b), -3.0, 6.0, -3.0);
    EXPECT_VEC_NEAR(Vector3d(1, 0, 0).Cross(Vector3d(0, 1, 0)), 0.0, 0.0, 1.0);
    EXPECT_NEAR(a.Cross(b).Dot(a), 0.0, 1e-15);

    EXPECT_VEC_NEAR(a + b, 5.0, 7.0, 9.0);
    EXPECT_VEC_NEAR(a - b, -3.0, -3.0, -3.0);
    EXPECT_VEC_NEAR(a * 2.0, 2.0, 4.0, 6.0);
    EXPECT_VEC_NEAR(2.0 * a, 2.0, 4.0, 6.0);
    Vector3d c(a);
    c += b;
    c -= a;
    c *= 0.5;
    EXPECT_VEC_NEAR(c, 2.0, 2.5, 3.0);
    EXPECT_TRUE(a == Vector3d(1 + eps, 2, 3));
    EXPECT_TRUE(a != Vector3d(1, 2, 3 + 1e-12));
    EXPECT_FALSE(a == b);

    Vector3d inv(1, 2, 3);
    inv.InvertX().InvertZ();
    EXPECT_VEC_NEAR(inv, -1.0, 2.0, -3.0);
}

TEST(Geometry, Vector3dPlaneAnglesAngleBetweenAndQuadrant)
{
    EXPECT_NEAR(Vector3d(1, 1, 0).GetAngleXY(), kPi / 4, kTol);
    EXPECT_NEAR(Vector3d(-1, 1, 0).GetAngleXY(), 3 * kPi / 4, kTol);
    EXPECT_NEAR(Vector3d(-1, -1, 0).GetAngleXY(), 5 * kPi / 4, kTol);
    EXPECT_NEAR(Vector3d(1, -1, 0).GetAngleXY(), 7 * kPi / 4, kTol);
    EXPECT_NEAR(Vector3d(2, 0, 0).GetAngleXY(), 0.0, kTol);
    EXPECT_NEAR(Vector3d(-2, 0, 0).GetAngleXY(), kPi, kTol);
    EXPECT_NEAR(Vector3d(0, -1, 0).GetAngleXY(), 3 * kPi / 2, kTol);
    // The other planes read their own components.
    EXPECT_NEAR(Vector3d(1, 9, -std::sqrt(3.0)).GetAngleXZ(), 5 * kPi / 3, kTol);
    EXPECT_NEAR(Vector3d(9, -1, std::sqrt(3.0)).GetAngleYZ(), 2 * kPi / 3, kTol);

    const Vector3d x(1, 0, 0), y(0, 2, 0);
    EXPECT_NEAR(x.GetAngleBetween(y), kPi / 2, kTol);
    EXPECT_NEAR(x.GetAngleBetween(Vector3d(-3, 0, 0)), kPi, kTol);
    EXPECT_NEAR(x.GetAngleBetween(Vector3d(1, 1, 0)), kPi / 4, kTol);
    EXPECT_EQ(x.GetAngleBetween(Vector3d()), 0.0);
    // Rounding can push the cosine of parallel vectors past 1; it must not give NaN.
    const Vector3d p(0.1, 0.2, 0.3);
    EXPECT_FALSE(std::isnan(p.GetAngleBetween(p * 3.0)));
    EXPECT_NEAR(p.GetAngleBetween(p * 3.0), 0.0, 1e-7);

    EXPECT_EQ(Vector3d(-1, -1, -1).GetQuadrant(), 0);
    EXPECT_EQ(Vector3d(-1, -1, 1).GetQuadrant(), 1);
    EXPECT_EQ(Vector3d(-1, 1, -1).GetQuadrant(), 2);
    EXPECT_EQ(Vector3d(-1, 1, 1).GetQuadrant(), 3);
    EXPECT_EQ(Vector3d(1, -1, -1).GetQuadrant(), 4);
    EXPECT_EQ(Vector3d(1, -1, 1).GetQuadrant(), 5);
    EXPECT_EQ(Vector3d(1, 1, -1).GetQuadrant(), 6);
    EXPECT_EQ(Vector3d(1, 1, 1).GetQuadrant(), 7);
    EXPECT_EQ(Vector3d().GetQuadrant(), 7);  // zero counts as not negative
}

TEST(Geometry, Vector3dRotationsAreRightHanded)
{
    EXPECT_VEC_NEAR(Vector3d(0, 1, 0).RotateX(kPi / 2), 0.0, 0.0, 1.0);
    EXPECT_VEC_NEAR(Vector3d(0, 0, 1).RotateY(kPi / 2), 1.0, 0.0, 0.0);
    EXPECT_VEC_NEAR(Vector3d(1, 0, 0).RotateZ(kPi / 2), 0.0, 1.0, 0.0);
    EXPECT_VEC_NEAR(Vector3d(1, 0, 0).RotateZ(kPi / 6), std::sqrt(3.0) / 2, 0.5, 0.0);

    const Vector3d v(1, 2, 3);
    EXPECT_VEC_NEAR(v.NewRotateX(kPi), 1.0, -2.0, -3.0);
    EXPECT_VEC_NEAR(v.NewRotateY(kPi / 2), 3.0, 2.0, -1.0);
    EXPECT_VEC_NEAR(v.NewRotateZ(-kPi / 2), 2.0, -1.0, 3.0);
    EXPECT_VEC_NEAR(v, 1.0, 2.0, 3.0);  // New* leave the vector alone

    // X first, then Y, then Z, all about the fixed axes.
    EXPECT_VEC_NEAR(Vector3d(0, 1, 0).Rotate(kPi / 2, kPi / 2, 0), 1.0, 0.0, 0.0);
    EXPECT_VEC_NEAR(Vector3d(0, 0, 1).Rotate(0, kPi / 2, kPi / 2), 0.0, 1.0, 0.0);
    const Vector3d chained = v.NewRotateX(0.3).NewRotateY(-0.7).NewRotateZ(1.1);
    EXPECT_VEC_NEAR(v.NewRotate(0.3, -0.7, 1.1), chained.GetX(), chained.GetY(), chained.GetZ());

    // A third of a turn about (1, 1, 1) carries x to y to z; the axis length does not matter.
    EXPECT_VEC_NEAR(Vector3d(1, 0, 0).Rotate(2 * kPi / 3, Vector3d(2, 2, 2)), 0.0, 1.0, 0.0);
    EXPECT_VEC_NEAR(Vector3d(0, 1, 0).Rotate(2 * kPi / 3, Vector3d(1, 1, 1)), 0.0, 0.0, 1.0);
    EXPECT_VEC_NEAR(Vector3d(1, 2, 3).Rotate(kPi / 2, Vector3d(0, 0, 5)), -2.0, 1.0, 3.0);

    Matrix3d swapXY;
    swapXY(1, 2) = 1.0;
    swapXY(2, 1) = 1.0;
    swapXY(3, 3) = -1.0;
    EXPECT_VEC_NEAR(Vector3d(1, 2, 3).Rotate(swapXY), 2.0, 1.0, -3.0);
}

TEST(Geometry, QuatHamiltonProductIsNotCommutative)
{
    const Quat identity;
    EXPECT_QUAT_NEAR(identity, 1.0, 0.0, 0.0, 0.0);

    const Quat i(0, 1, 0, 0), j(0, 0, 1, 0), k(0, 0, 0, 1);
    EXPECT_QUAT_NEAR(i * j, 0.0, 0.0, 0.0, 1.0);
    EXPECT_QUAT_NEAR(j * i, 0.0, 0.0, 0.0, -1.0);
    EXPECT_QUAT_NEAR(i * i, -1.0, 0.0, 0.0, 0.0);
    EXPECT_QUAT_NEAR(i * j * k, -1.0, 0.0, 0.0, 0.0);

    const Quat p(1, 2, 3, 4), q(5, 6, 7, 8);
    EXPECT_QUAT_NEAR(p * q, -60.0, 12.0, 30.0, 24.0);
    EXPECT_QUAT_NEAR(q * p, -60.0, 20.0, 14.0, 32.0);
    EXPECT_TRUE(p * q != q * p);
    EXPECT_TRUE(p * identity == p);

    EXPECT_QUAT_NEAR(p + q, 6.0, 8.0, 10.0, 12.0);
    EXPECT_QUAT_NEAR(q - p, 4.0, 4.0, 4.0, 4.0);
    EXPECT_QUAT_NEAR(p * 0.5, 0.5, 1.0, 1.5, 2.0);
    EXPECT_TRUE(p == Quat(1 + std::numeric_limits<double>::epsilon(), 2, 3, 4));
    EXPECT_FALSE(p == Quat(1, 2, 3.000001, 4));
    EXPECT_QUAT_NEAR(Quat(7, Vector3d(1, 2, 3)), 7.0, 1.0, 2.0, 3.0);
}

TEST(Geometry, QuatConjugateInvertAndNormalize)
{
    Quat c(1, 2, 3, 4);
    c.Conjugate();
    EXPECT_QUAT_NEAR(c, 1.0, -2.0, -3.0, -4.0);

    const Quat p(1, 2, 3, 4);
    Quat inv(p);
    inv.Invert();
    EXPECT_QUAT_NEAR(inv, 1.0 / 30, -2.0 / 30, -3.0 / 30, -4.0 / 30);
    EXPECT_QUAT_NEAR(p * inv, 1.0, 0.0, 0.0, 0.0);
    EXPECT_QUAT_NEAR(inv * p, 1.0, 0.0, 0.0, 0.0);

    EXPECT_FALSE(p.IsUnit());
    EXPECT_TRUE(Quat(0.5, -0.5, 0.5, 0.5).IsUnit());
    EXPECT_FALSE(Quat(1.0 + 1e-15, 0, 0, 0).IsUnit());
    Quat n(p);
    n.Normalize();
    // IsUnit's tolerance is below one rounding step of the length here, so check the length.
    EXPECT_NEAR(n.GetLengthSquared(), 1.0, 1e-15);
    EXPECT_QUAT_NEAR(n, 1 / std::sqrt(30.0), 2 / std::sqrt(30.0), 3 / std::sqrt(30.0),
                     4 / std::sqrt(30.0));
    // For a unit quaternion the inverse is the conjugate.
    Quat nInv(n), nConj(n);
    nInv.Invert();
    nConj.Conjugate();
    EXPECT_QUAT_NEAR(nInv, nConj.GetW(), nConj.GetX(), nConj.GetY(), nConj.GetZ());
}

TEST(Geometry, QuatAxisAngleRoundTrip)
{
    EXPECT_QUAT_NEAR(axisQuat(kPi / 2, 0, 0, 1), kHalfSqrt2, 0.0, 0.0, kHalfSqrt2);
    // The axis is used as given, not normalised.
    EXPECT_QUAT_NEAR(axisQuat(kPi, 0, 2, 0), 0.0, 0.0, 2.0, 0.0);

    const double angles[] = {0.1, 1.0, kPi / 2, 3.0, 4.0, 6.0};
    const Vector3d axes[] = {Vector3d(1, 0, 0), Vector3d(0, -1, 0), Vector3d(1, 2, -2, true)};
    for (const Vector3d& axis : axes)
        for (double angle : angles) {
            Quat q;
            q.SetFromVector3(angle, axis);
            EXPECT_TRUE(q.IsUnit());
            double outAngle = 0;
            Vector3d outAxis;
            q.GetToVector3(outAngle, outAxis);
            EXPECT_NEAR(outAngle, angle, 1e-12);
            EXPECT_VEC_NEAR(outAxis, axis.GetX(), axis.GetY(), axis.GetZ());
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
    EXPECT_TRUE(q.IsUnit());
    const Quat composed = axisQuat(c, 0, 0, 1) * axisQuat(b, 0, 1, 0) * axisQuat(a, 1, 0, 0);
    EXPECT_QUAT_NEAR(q, composed.GetW(), composed.GetX(), composed.GetY(), composed.GetZ());
    // Same rotation as rotating a vector about the axes in that order.
    const Vector3d v(0.3, -1.2, 0.8);
    const Vector3d byAxes = v.NewRotate(a, b, c);
    EXPECT_VEC_NEAR(q * v, byAxes.GetX(), byAxes.GetY(), byAxes.GetZ());

    // The general forms undo SetFromAngles: pitch about X, yaw about Y, roll about Z.
    EXPECT_NEAR(q.getPitch(false), a, 1e-12);
    EXPECT_NEAR(q.getYaw(false), b, 1e-12);
    EXPECT_NEAR(q.getRoll(false), c, 1e-12);
    // ...whatever the length of the quaternion, except for the yaw's asin.
    const Quat scaled = q * 3.0;
    EXPECT_NEAR(scaled.getPitch(false), a, 1e-12);
    EXPECT_NEAR(scaled.getRoll(false), c, 1e-12);
    // For a unit quaternion both roll forms agree.
    EXPECT_NEAR(q.getRoll(true), c, 1e-12);

    // The unit forms read a single-axis turn exactly.
    EXPECT_NEAR(axisQuat(0.7, 1, 0, 0).getPitch(true), 0.7, 1e-12);
    EXPECT_NEAR(axisQuat(-1.3, 0, 1, 0).getYaw(true), -1.3, 1e-12);
    EXPECT_NEAR(axisQuat(2.9, 0, 0, 1).getRoll(true), 2.9, 1e-12);
    EXPECT_NEAR(axisQuat(0.7, 1, 0, 0).getRoll(true), 0.0, 1e-12);
    EXPECT_NEAR(axisQuat(-1.3, 0, 1, 0).getPitch(true), 0.0, 1e-12);

    // SFA2XYZ is X(a) * Y(b) * Z(c), so Z acts first; SFA2XZY is X(a) * Z(c) * Y(b).
    Quat xyz, xzy;
    xyz.SFA2XYZ(a, b, c);
    xzy.SFA2XZY(a, b, c);
    const Vector3d zyx = v.NewRotateZ(c).NewRotateY(b).NewRotateX(a);
    EXPECT_VEC_NEAR(xyz * v, zyx.GetX(), zyx.GetY(), zyx.GetZ());
    const Vector3d yzx = v.NewRotateY(b).NewRotateZ(c).NewRotateX(a);
    EXPECT_VEC_NEAR(xzy * v, yzx.GetX(), yzx.GetY(), yzx.GetZ());
}

TEST(Geometry, QuatGetAnglesBranches)
{
    double a = -1, b = -1, c = -1;
    // A quarter turn about X takes the general branch.
    Quat(0.7071068, 0.7071068, 0, 0).GetAngles(a, b, c);
    EXPECT_NEAR(a, 0.0, 1e-12);
    EXPECT_NEAR(b, 0.0, 1e-12);
    EXPECT_NEAR(c, kPi / 2, 1e-6);

    // x y + z w = 0.5: the turn about Y goes into a, the middle angle is pi/2 and c is 0.
    const double alpha = 0.8;
    (axisQuat(alpha, 0, 1, 0) * axisQuat(kPi / 2, 0, 0, 1)).GetAngles(a, b, c);
    EXPECT_NEAR(a, alpha, 1e-12);
    EXPECT_NEAR(b, kPi / 2, 1e-15);
    EXPECT_EQ(c, 0.0);
    (axisQuat(alpha, 0, 1, 0) * axisQuat(-kPi / 2, 0, 0, 1)).GetAngles(a, b, c);
    EXPECT_NEAR(a, alpha, 1e-12);
    EXPECT_NEAR(b, -kPi / 2, 1e-15);
    EXPECT_EQ(c, 0.0);

    // General branch: the angles rebuild the quaternion as Y(a) * Z(b) * X(c).
    const Quat samples[] = {axisQuat(1.1, 0.2, -0.5, 0.7).Normalize(),
                            axisQuat(-2.4, 1, 1, 0).Normalize(), axisQuat(0.3, 0, 0, 1)};
    for (const Quat& q : samples) {
        q.GetAngles(a, b, c);
        EXPECT_LT(std::fabs(b), kPi / 2);
        expectSameRotation(axisQuat(a, 0, 1, 0) * axisQuat(b, 0, 0, 1) * axisQuat(c, 1, 0, 0), q);
    }
}

TEST(Geometry, QuatRotationMatrixAgreesWithQuaternionRotation)
{
    // A quarter turn about Z, entry by entry.
    const double quarterZ[] = {0, -1, 0, 1, 0, 0, 0, 0, 1};
    expectMatrixNear(axisQuat(kPi / 2, 0, 0, 1).RotationMatrix(), fromRows(3, 3, quarterZ));

    const Quat samples[] = {axisQuat(0.9, 1, -2, 0.5).Normalize(), axisQuat(3.0, 0, 1, 0),
                            Quat(2, -1, 0.5, 3)};  // the last one is not of unit length
    const Vector3d v(0.5, -1.5, 2.0);
    Matrix identity(3, 3);
    identity.SetIdentity();
    for (const Quat& q : samples) {
        const Matrix3d r = q.RotationMatrix();
        const Vector3d byQuat = q * v;
        const Vector3d byMatrix = Vector3d(v).Rotate(r);
        EXPECT_VEC_NEAR(byMatrix, byQuat.GetX(), byQuat.GetY(), byQuat.GetZ());
        EXPECT_VEC_NEAR(Vector3d(v).Rotate(q), byQuat.GetX(), byQuat.GetY(), byQuat.GetZ());
        EXPECT_NEAR(byQuat.Length(), v.Length(), 1e-12);
        expectMatrixNear(r.T() * r, identity);
        EXPECT_NEAR(r.Determinant(), 1.0, 1e-12);

        // The rotated axes are the matrix columns.
        const Vector3d ex = q * Vector3d(1, 0, 0);
        EXPECT_VEC_NEAR(q.GetXAxis(), ex.GetX(), ex.GetY(), ex.GetZ());
        Vector3d ey, ez;
        q.GetYAxis(ey);
        q.GetZAxis(ez);
        const Vector3d qy = q * Vector3d(0, 1, 0), qz = q * Vector3d(0, 0, 1);
        EXPECT_VEC_NEAR(ey, qy.GetX(), qy.GetY(), qy.GetZ());
        EXPECT_VEC_NEAR(ez, qz.GetX(), qz.GetY(), qz.GetZ());

        // Back from the matrix to the (unit) quaternion.
        Quat unit(q);
        unit.Normalize();
        expectSameRotation(fromMatrix(r), unit);

        const Matrix h = q.ToMatrix();
        ASSERT_EQ(h.NRows(), 4);
        ASSERT_EQ(h.NCols(), 4);
        expectMatrixNear(h.SubMatrix(1, 1, 3, 3), r);
        EXPECT_EQ(h(4, 4), 1.0);
        EXPECT_EQ(h(4, 1), 0.0);
        EXPECT_EQ(h(2, 4), 0.0);

        Matrix3d viaSet;
        viaSet.SetRotation(q);
        expectMatrixNear(viaSet, r);
    }

    // Each branch of SetFromMatrix3: half turns about each axis have trace -1.
    expectSameRotation(fromMatrix(axisQuat(kPi, 1, 0, 0).RotationMatrix()), Quat(0, 1, 0, 0));
    expectSameRotation(fromMatrix(axisQuat(kPi, 0, 1, 0).RotationMatrix()), Quat(0, 0, 1, 0));
    expectSameRotation(fromMatrix(axisQuat(kPi, 0, 0, 1).RotationMatrix()), Quat(0, 0, 0, 1));
    // Of q and -q the one with w >= 0 comes back: a turn by 4 about Z has cos 2 < 0 as its w.
    EXPECT_QUAT_NEAR(fromMatrix(axisQuat(4.0, 0, 0, 1).RotationMatrix()), -std::cos(2.0), 0.0, 0.0,
                     -std::sin(2.0));
}

TEST(Geometry, Matrix3dRotationsRowsAndQuarterTurns)
{
    Matrix3d m;
    EXPECT_EQ(m.NRows(), 3);
    EXPECT_EQ(m.NCols(), 3);
    EXPECT_EQ(m(2, 2), 0.0);
    m.SetRow(1, Vector3d(1, 2, 3));
    m.SetColumn(3, Vector3d(7, 8, 9));
    EXPECT_VEC_NEAR(m.Row(1), 1.0, 2.0, 7.0);
    EXPECT_VEC_NEAR(m.Column(3), 7.0, 8.0, 9.0);
    Matrix3d other;
    other.SetRow(2, m, 1);  // the Matrix form stays available
    EXPECT_VEC_NEAR(other.Row(2), 1.0, 2.0, 7.0);

    // Axis-angle and three-angle forms against the quaternion ones.
    Matrix3d r;
    r.SetRotation(1.2, Vector3d(0, 3, 4));
    expectMatrixNear(r, axisQuat(1.2, 0, 0.6, 0.8).RotationMatrix());
    r.SetRotation(0.4, -0.9, 2.5);
    Quat q;
    q.SetFromAngles(0.4, -0.9, 2.5);
    expectMatrixNear(r, q.RotationMatrix());
    const double quarterX[] = {1, 0, 0, 0, 0, -1, 0, 1, 0};
    r.SetRotation(kPi / 2, Vector3d(1, 0, 0));
    expectMatrixNear(r, fromRows(3, 3, quarterX));

    // A product of Matrix3d values can be kept as a Matrix3d.
    const Matrix3d product = r * r;
    EXPECT_NEAR(product(2, 2), -1.0, kTol);

    // The quarter turns equal a left product with the rotation by +-pi/2 about the axis.
    const double values[] = {1, 2, 3, 4, 5, 6, 7, 8, 10};
    Matrix3d base;
    base.SetValues(values);
    const Vector3d axes[] = {Vector3d(1, 0, 0), Vector3d(0, 1, 0), Vector3d(0, 0, 1)};
    for (int axis = 0; axis < 3; ++axis)
        for (bool positive : {true, false}) {
            Matrix3d turned(base);
            if (axis == 0)
                turned.RotateXBy90(positive);
            else if (axis == 1)
                turned.RotateYBy90(positive);
            else
                turned.RotateZBy90(positive);
            Matrix3d rotation;
            rotation.SetRotation(positive ? kPi / 2 : -kPi / 2, axes[axis]);
            expectMatrixNear(turned, rotation * base);
        }
    // Flag true on the identity about X: row 2 = -(old row 3), row 3 = old row 2.
    Matrix3d id;
    id.SetIdentity();
    id.RotateXBy90(true);
    expectMatrixNear(id, fromRows(3, 3, quarterX), 0.0);
}

TEST(GeometryDeathTest, IndexAndShapeErrorsStopWithTheCondition)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Matrix m(2, 3);
    EXPECT_DEATH(m(3, 1) = 1.0, "i >= 1 && i <= m");
    EXPECT_DEATH(m(1, 0) = 1.0, "j >= 1 && j <= n");
    EXPECT_DEATH(m.Row(0), "i >= 1 && i <= m");
    EXPECT_DEATH(m.Column(4), "j >= 1 && j <= n");
    EXPECT_DEATH(m.SetRow(1, Matrix(1, 3), 2), "ii >= 1 && ii <= mat.m");
    EXPECT_DEATH(m.SetColumn(1, Matrix(2, 2), 3), "jj >= 1 && jj <= mat.n");
    EXPECT_DEATH(m * m, "n == mat.m");
    EXPECT_DEATH(m += Matrix(3, 3), "m == mat.m");
    EXPECT_DEATH(m -= Matrix(2, 2), "n == mat.n");
    Matrix3d r;
    EXPECT_DEATH(r.SetRow(4, Vector3d()), "row >= 1 && row <= 3");
    EXPECT_DEATH(r.SetColumn(0, Vector3d()), "column >= 1 && column <= 3");
    EXPECT_DEATH(Vector3d(1, 2, 3).Perpendicular(), "false");
}
