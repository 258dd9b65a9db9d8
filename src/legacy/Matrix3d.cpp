#include "Matrix3d.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Quat.h"
#include "Vector3d.h"

namespace {

[[noreturn]] void failCheck(const char* condition, int line, const char* function)
{
    std::fprintf(stderr, "src/legacy/Matrix3d.cpp:%d: %s: Assertion `%s' failed.\n", line,
                 function, condition);
    std::fflush(stderr);
    std::abort();
}

#define MATRIX3D_CHECK(cond) ((cond) ? static_cast<void>(0) : failCheck(#cond, __LINE__, __func__))

}  // namespace

Matrix3d::Matrix3d() : Matrix(3, 3) {}

Matrix3d::Matrix3d(const Matrix& other) : Matrix(other)
{
    MATRIX3D_CHECK(other.NRows() == 3 && other.NCols() == 3);
}

void Matrix3d::SetRow(int row, const Vector3d& v)
{
    MATRIX3D_CHECK(row >= 1 && row <= 3);
    (*this)(row, 1) = v.GetX();
    (*this)(row, 2) = v.GetY();
    (*this)(row, 3) = v.GetZ();
}

void Matrix3d::SetColumn(int column, const Vector3d& v)
{
    MATRIX3D_CHECK(column >= 1 && column <= 3);
    (*this)(1, column) = v.GetX();
    (*this)(2, column) = v.GetY();
    (*this)(3, column) = v.GetZ();
}

Vector3d Matrix3d::Row(int row) const
{
    return Vector3d((*this)(row, 1), (*this)(row, 2), (*this)(row, 3));
}

Vector3d Matrix3d::Column(int column) const
{
    return Vector3d((*this)(1, column), (*this)(2, column), (*this)(3, column));
}

void Matrix3d::SetRotation(double angle, const Vector3d& axis)
{
    Vector3d u(axis);
    if (u.normalise() == 0.0) {
        SetIdentity();
        return;
    }
    const double c = std::cos(angle), s = std::sin(angle), t = 1.0 - c;
    const double x = u.GetX(), y = u.GetY(), z = u.GetZ();
    Matrix3d& r = *this;
    r(1, 1) = t * x * x + c;
    r(1, 2) = t * x * y - s * z;
    r(1, 3) = t * x * z + s * y;
    r(2, 1) = t * x * y + s * z;
    r(2, 2) = t * y * y + c;
    r(2, 3) = t * y * z - s * x;
    r(3, 1) = t * x * z - s * y;
    r(3, 2) = t * y * z + s * x;
    r(3, 3) = t * z * z + c;
}

void Matrix3d::SetRotation(const Quat& q)
{
    *this = q.RotationMatrix();
}

void Matrix3d::SetRotation(double a, double b, double c)
{
    const double ca = std::cos(a), sa = std::sin(a);
    const double cb = std::cos(b), sb = std::sin(b);
    const double cc = std::cos(c), sc = std::sin(c);
    Matrix3d& r = *this;
    r(1, 1) = cc * cb;
    r(1, 2) = cc * sb * sa - sc * ca;
    r(1, 3) = cc * sb * ca + sc * sa;
    r(2, 1) = sc * cb;
    r(2, 2) = sc * sb * sa + cc * ca;
    r(2, 3) = sc * sb * ca - cc * sa;
    r(3, 1) = -sb;
    r(3, 2) = cb * sa;
    r(3, 3) = cb * ca;
}

void Matrix3d::swapRowsBy90(int a, int b, bool positive)
{
    const double sa = positive ? 1.0 : -1.0;
    for (int j = 1; j <= 3; ++j) {
        const double oldA = (*this)(a, j);
        const double oldB = (*this)(b, j);
        (*this)(a, j) = -sa * oldB;
        (*this)(b, j) = sa * oldA;
    }
}

void Matrix3d::RotateXBy90(bool positive)
{
    swapRowsBy90(2, 3, positive);
}

void Matrix3d::RotateYBy90(bool positive)
{
    swapRowsBy90(3, 1, positive);
}

void Matrix3d::RotateZBy90(bool positive)
{
    swapRowsBy90(1, 2, positive);
}
