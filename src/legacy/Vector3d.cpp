#include "Vector3d.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "Matrix3d.h"
#include "Quat.h"

namespace {

const double kEpsilon = std::numeric_limits<double>::epsilon();
const double kPi = 3.14159265358979323846;

[[noreturn]] void failCheck(const char* condition, int line, const char* function)
{
    std::fprintf(stderr, "src/legacy/Vector3d.cpp:%d: %s: Assertion `%s' failed.\n", line,
                 function, condition);
    std::fflush(stderr);
    std::abort();
}

// Angle of (u, w) from the u axis, counter-clockwise. A u within epsilon of zero counts as the
// axis itself (pi/2), and u == 0 belongs to the left half-plane, so (0, -1) gives 3 pi/2.
double planeAngle(double u, double w)
{
    double angle = std::fabs(u) < kEpsilon ? kPi / 2.0 : std::atan(w / u);
    if (u <= 0.0)
        angle += kPi;
    else if (w < 0.0)
        angle += 2.0 * kPi;
    return angle;
}

}  // namespace

Vector3d::Vector3d() : x(0.0), y(0.0), z(0.0) {}

Vector3d::Vector3d(double px, double py, double pz, bool normalise) : x(px), y(py), z(pz)
{
    if (normalise)
        this->normalise();
}

Vector3d::Vector3d(double value, bool normalise) : x(value), y(value), z(value)
{
    if (normalise)
        this->normalise();
}

double Vector3d::Length() const
{
    return std::sqrt(x * x + y * y + z * z);
}

double Vector3d::Dot(const Vector3d& v) const
{
    return x * v.x + y * v.y + z * v.z;
}

Vector3d Vector3d::Cross(const Vector3d& v) const
{
    return Vector3d(y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x);
}

double Vector3d::normalise()
{
    const double length = Length();
    if (length != 0.0) {
        x /= length;
        y /= length;
        z /= length;
    }
    return length;
}

Vector3d& Vector3d::Normalize()
{
    const double length = Length();
    if (std::fabs(length - 1.0) <= kEpsilon)
        return *this;
    if (length <= kEpsilon) {
        Zero();
        return *this;
    }
    x /= length;
    y /= length;
    z /= length;
    return *this;
}

void Vector3d::Zero()
{
    x = y = z = 0.0;
}

bool Vector3d::IsZero() const
{
    return std::fabs(x) <= kEpsilon && std::fabs(y) <= kEpsilon && std::fabs(z) <= kEpsilon;
}

Vector3d Vector3d::Perpendicular() const
{
    failCheck("false", __LINE__, __func__);
}

double Vector3d::GetAngleXY() const
{
    return planeAngle(x, y);
}

double Vector3d::GetAngleXZ() const
{
    return planeAngle(x, z);
}

double Vector3d::GetAngleYZ() const
{
    return planeAngle(y, z);
}

double Vector3d::GetAngleBetween(const Vector3d& v) const
{
    const double lengths = Length() * v.Length();
    if (lengths < kEpsilon)
        return 0.0;
    return std::acos(std::clamp(Dot(v) / lengths, -1.0, 1.0));
}

Vector3d& Vector3d::RotateX(double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    const double ny = c * y - s * z;
    const double nz = s * y + c * z;
    y = ny;
    z = nz;
    return *this;
}

Vector3d& Vector3d::RotateY(double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    const double nx = c * x + s * z;
    const double nz = -s * x + c * z;
    x = nx;
    z = nz;
    return *this;
}

Vector3d& Vector3d::RotateZ(double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    const double nx = c * x - s * y;
    const double ny = s * x + c * y;
    x = nx;
    y = ny;
    return *this;
}

Vector3d Vector3d::NewRotateX(double angle) const
{
    return Vector3d(*this).RotateX(angle);
}

Vector3d Vector3d::NewRotateY(double angle) const
{
    return Vector3d(*this).RotateY(angle);
}

Vector3d Vector3d::NewRotateZ(double angle) const
{
    return Vector3d(*this).RotateZ(angle);
}

Vector3d& Vector3d::Rotate(double a, double b, double c)
{
    return RotateX(a).RotateY(b).RotateZ(c);
}

Vector3d Vector3d::NewRotate(double a, double b, double c) const
{
    return Vector3d(*this).Rotate(a, b, c);
}

Vector3d& Vector3d::Rotate(double angle, const Vector3d& axis)
{
    Matrix3d rotation;
    rotation.SetRotation(angle, axis);
    return Rotate(rotation);
}

Vector3d& Vector3d::Rotate(const Quat& q)
{
    return Rotate(q.RotationMatrix());
}

Vector3d& Vector3d::Rotate(const Matrix3d& mat)
{
    const double nx = mat(1, 1) * x + mat(1, 2) * y + mat(1, 3) * z;
    const double ny = mat(2, 1) * x + mat(2, 2) * y + mat(2, 3) * z;
    const double nz = mat(3, 1) * x + mat(3, 2) * y + mat(3, 3) * z;
    x = nx;
    y = ny;
    z = nz;
    return *this;
}

Vector3d& Vector3d::InvertX()
{
    x = -x;
    return *this;
}

Vector3d& Vector3d::InvertY()
{
    y = -y;
    return *this;
}

Vector3d& Vector3d::InvertZ()
{
    z = -z;
    return *this;
}

int Vector3d::GetQuadrant() const
{
    return (x >= 0.0 ? 4 : 0) | (y >= 0.0 ? 2 : 0) | (z >= 0.0 ? 1 : 0);
}

Vector3d Vector3d::operator+(const Vector3d& v) const
{
    return Vector3d(x + v.x, y + v.y, z + v.z);
}

Vector3d Vector3d::operator-(const Vector3d& v) const
{
    return Vector3d(x - v.x, y - v.y, z - v.z);
}

Vector3d Vector3d::operator*(double s) const
{
    return Vector3d(x * s, y * s, z * s);
}

Vector3d& Vector3d::operator+=(const Vector3d& v)
{
    x += v.x;
    y += v.y;
    z += v.z;
    return *this;
}

Vector3d& Vector3d::operator-=(const Vector3d& v)
{
    x -= v.x;
    y -= v.y;
    z -= v.z;
    return *this;
}

Vector3d& Vector3d::operator*=(double s)
{
    x *= s;
    y *= s;
    z *= s;
    return *this;
}

bool Vector3d::operator==(const Vector3d& v) const
{
    return std::fabs(x - v.x) <= kEpsilon && std::fabs(y - v.y) <= kEpsilon &&
           std::fabs(z - v.z) <= kEpsilon;
}

bool Vector3d::operator!=(const Vector3d& v) const
{
    return !(*this == v);
}

Vector3d operator*(double s, const Vector3d& v)
{
    return v * s;
}
