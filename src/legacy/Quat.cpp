#include "Quat.h"

#include <cmath>
#include <limits>

#include "Matrix.h"
#include "Matrix3d.h"

namespace {

const double kEpsilon = std::numeric_limits<double>::epsilon();
const double kPi = 3.14159265358979323846;

// Beyond this |x y + z w| the middle angle of GetAngles is taken as +-pi/2 (gimbal lock).
const double kGimbalLimit = 0.499999;

}  // namespace

Quat::Quat() : w(1.0), x(0.0), y(0.0), z(0.0) {}

Quat::Quat(double pw, double px, double py, double pz) : w(pw), x(px), y(py), z(pz) {}

Quat::Quat(double pw, const Vector3d& v) : w(pw), x(v.GetX()), y(v.GetY()), z(v.GetZ()) {}

void Quat::SetIdentity()
{
    Set(1.0, 0.0, 0.0, 0.0);
}

void Quat::Set(double pw, double px, double py, double pz)
{
    w = pw;
    x = px;
    y = py;
    z = pz;
}

void Quat::Set(double pw, const Vector3d& v)
{
    Set(pw, v.GetX(), v.GetY(), v.GetZ());
}

void Quat::Set(const Quat& q)
{
    *this = q;
}

Quat& Quat::Normalize()
{
    const double length = std::sqrt(GetLengthSquared());
    if (length != 0.0) {
        w /= length;
        x /= length;
        y /= length;
        z /= length;
    }
    return *this;
}

bool Quat::IsUnit() const
{
    return std::fabs(GetLengthSquared() - 1.0) < kEpsilon;
}

Quat& Quat::Conjugate()
{
    x = -x;
    y = -y;
    z = -z;
    return *this;
}

Quat& Quat::Invert()
{
    const double ls = GetLengthSquared();
    w /= ls;
    x /= -ls;
    y /= -ls;
    z /= -ls;
    return *this;
}

Quat Quat::operator+(const Quat& q) const
{
    return Quat(w + q.w, x + q.x, y + q.y, z + q.z);
}

Quat Quat::operator-(const Quat& q) const
{
    return Quat(w - q.w, x - q.x, y - q.y, z - q.z);
}

Quat Quat::operator*(const Quat& q) const
{
    return Quat(w * q.w - x * q.x - y * q.y - z * q.z,
                w * q.x + x * q.w + y * q.z - z * q.y,
                w * q.y - x * q.z + y * q.w + z * q.x,
                w * q.z + x * q.y - y * q.x + z * q.w);
}

Quat Quat::operator*(double s) const
{
    return Quat(w * s, x * s, y * s, z * s);
}

bool Quat::operator==(const Quat& q) const
{
    return std::fabs(w - q.w) <= kEpsilon && std::fabs(x - q.x) <= kEpsilon &&
           std::fabs(y - q.y) <= kEpsilon && std::fabs(z - q.z) <= kEpsilon;
}

bool Quat::operator!=(const Quat& q) const
{
    return !(*this == q);
}

void Quat::SetFromAngles(double a, double b, double c)
{
    const double ca = std::cos(a / 2.0), sa = std::sin(a / 2.0);
    const double cb = std::cos(b / 2.0), sb = std::sin(b / 2.0);
    const double cc = std::cos(c / 2.0), sc = std::sin(c / 2.0);
    w = sa * sb * sc + ca * cb * cc;
    x = sa * cb * cc - ca * sb * sc;
    y = sa * cb * sc + ca * sb * cc;
    z = ca * cb * sc - sa * sb * cc;
}

void Quat::SFA2XYZ(double a, double b, double c)
{
    Quat qx, qy, qz;
    qx.SetFromVector3(a, Vector3d(1.0, 0.0, 0.0));
    qy.SetFromVector3(b, Vector3d(0.0, 1.0, 0.0));
    qz.SetFromVector3(c, Vector3d(0.0, 0.0, 1.0));
    *this = qx * qy * qz;
}

void Quat::SFA2XZY(double a, double b, double c)
{
    Quat qx, qy, qz;
    qx.SetFromVector3(a, Vector3d(1.0, 0.0, 0.0));
    qy.SetFromVector3(b, Vector3d(0.0, 1.0, 0.0));
    qz.SetFromVector3(c, Vector3d(0.0, 0.0, 1.0));
    *this = qx * qz * qy;
}

void Quat::SetFromVector3(double angle, const Vector3d& axis)
{
    const double s = std::sin(angle / 2.0);
    Set(std::cos(angle / 2.0), axis.GetX() * s, axis.GetY() * s, axis.GetZ() * s);
}

void Quat::GetToVector3(double& angle, Vector3d& axis) const
{
    Quat u(*this);
    u.Normalize();
    const double vectorLength = std::sqrt(u.x * u.x + u.y * u.y + u.z * u.z);
    // atan2 rather than acos(w): accurate for small angles as well.
    angle = 2.0 * std::atan2(vectorLength, u.w);
    if (vectorLength == 0.0)
        axis = Vector3d(1.0, 0.0, 0.0);
    else
        axis = Vector3d(u.x / vectorLength, u.y / vectorLength, u.z / vectorLength);
}

Vector3d Quat::GetXAxis() const
{
    return RotationMatrix().Column(1);
}

Vector3d Quat::GetYAxis() const
{
    return RotationMatrix().Column(2);
}

Vector3d Quat::GetZAxis() const
{
    return RotationMatrix().Column(3);
}

void Quat::GetXAxis(Vector3d& axis) const
{
    axis = GetXAxis();
}

void Quat::GetYAxis(Vector3d& axis) const
{
    axis = GetYAxis();
}

void Quat::GetZAxis(Vector3d& axis) const
{
    axis = GetZAxis();
}

void Quat::GetAngles(double& a, double& b, double& c) const
{
    const double t = x * y + z * w;
    if (t > kGimbalLimit) {
        a = 2.0 * std::atan2(x, w);
        b = kPi / 2.0;
        c = 0.0;
    } else if (t < -kGimbalLimit) {
        a = -2.0 * std::atan2(x, w);
        b = -kPi / 2.0;
        c = 0.0;
    } else {
        a = std::atan2(2.0 * (y * w - x * z), 1.0 - 2.0 * (y * y + z * z));
        b = std::asin(2.0 * t);
        c = std::atan2(2.0 * (x * w - y * z), 1.0 - 2.0 * (x * x + z * z));
    }
}

double Quat::getRoll(bool unit) const
{
    if (unit)
        return std::atan2(2.0 * (x * y + w * z), 1.0 - 2.0 * (y * y + z * z));
    return std::atan2(2.0 * (z * w + y * x), w * w + x * x - y * y - z * z);
}

double Quat::getPitch(bool unit) const
{
    if (unit)
        return std::atan2(2.0 * (y * z + w * x), 1.0 - 2.0 * (x * x + z * z));
    return std::atan2(2.0 * (x * w + z * y), w * w - x * x - y * y + z * z);
}

double Quat::getYaw(bool unit) const
{
    if (unit)
        return std::atan2(2.0 * (x * z + w * y), 1.0 - 2.0 * (x * x + y * y));
    return std::asin(-2.0 * (z * x - y * w));
}

void Quat::SetFromMatrix3(const Matrix3d& mat)
{
    const Matrix3d& r = mat;
    const double trace = r(1, 1) + r(2, 2) + r(3, 3);
    // Divide by the largest of the four candidates to stay clear of cancellation.
    if (trace > 0.0) {
        const double s = 2.0 * std::sqrt(trace + 1.0);
        Set(0.25 * s, (r(3, 2) - r(2, 3)) / s, (r(1, 3) - r(3, 1)) / s, (r(2, 1) - r(1, 2)) / s);
    } else if (r(1, 1) > r(2, 2) && r(1, 1) > r(3, 3)) {
        const double s = 2.0 * std::sqrt(1.0 + r(1, 1) - r(2, 2) - r(3, 3));
        Set((r(3, 2) - r(2, 3)) / s, 0.25 * s, (r(1, 2) + r(2, 1)) / s, (r(1, 3) + r(3, 1)) / s);
    } else if (r(2, 2) > r(3, 3)) {
        const double s = 2.0 * std::sqrt(1.0 + r(2, 2) - r(1, 1) - r(3, 3));
        Set((r(1, 3) - r(3, 1)) / s, (r(1, 2) + r(2, 1)) / s, 0.25 * s, (r(2, 3) + r(3, 2)) / s);
    } else {
        const double s = 2.0 * std::sqrt(1.0 + r(3, 3) - r(1, 1) - r(2, 2));
        Set((r(2, 1) - r(1, 2)) / s, (r(1, 3) + r(3, 1)) / s, (r(2, 3) + r(3, 2)) / s, 0.25 * s);
    }
    // q and -q are the same rotation; keep one representative.
    if (w < 0.0)
        Set(-w, -x, -y, -z);
    Normalize();
}

Vector3d Quat::operator*(const Vector3d& v) const
{
    Quat inverse(*this);
    inverse.Invert();
    const Quat rotated = *this * Quat(0.0, v) * inverse;
    return Vector3d(rotated.x, rotated.y, rotated.z);
}

Matrix3d Quat::RotationMatrix() const
{
    Matrix3d r;
    const double s = GetLengthSquared();
    if (s == 0.0) {
        r.SetIdentity();
        return r;
    }
    r(1, 1) = (w * w + x * x - y * y - z * z) / s;
    r(1, 2) = 2.0 * (x * y - w * z) / s;
    r(1, 3) = 2.0 * (x * z + w * y) / s;
    r(2, 1) = 2.0 * (x * y + w * z) / s;
    r(2, 2) = (w * w - x * x + y * y - z * z) / s;
    r(2, 3) = 2.0 * (y * z - w * x) / s;
    r(3, 1) = 2.0 * (x * z - w * y) / s;
    r(3, 2) = 2.0 * (y * z + w * x) / s;
    r(3, 3) = (w * w - x * x - y * y + z * z) / s;
    return r;
}

Matrix Quat::ToMatrix() const
{
    const Matrix3d r = RotationMatrix();
    Matrix h(4, 4);
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j)
            h(i, j) = r(i, j);
    h(4, 4) = 1.0;
    return h;
}
