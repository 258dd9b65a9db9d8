#ifndef QCAN_LEGACY_QUAT_H
#define QCAN_LEGACY_QUAT_H

#include "Vector3d.h"

class Matrix;
class Matrix3d;

// Quaternion w + x i + y j + z k, w the scalar part. A unit quaternion q rotates a vector v to
// q (0, v) q^-1, right-handed; products compose rotations, the right-hand factor acting first.
class Quat
{
public:
    Quat();
    Quat(double w, double x, double y, double z);
    Quat(double w, const Vector3d& v);
    Quat(const Quat& other) = default;
    virtual ~Quat() = default;
    Quat& operator=(const Quat& other) = default;

    void SetIdentity();
    void Set(double w, double x, double y, double z);
    void Set(double w, const Vector3d& v);
    void Set(const Quat& q);

    double GetW() const { return w; }
    double GetX() const { return x; }
    double GetY() const { return y; }
    double GetZ() const { return z; }
    double GetW2() const { return w * w; }
    double GetX2() const { return x * x; }
    double GetY2() const { return y * y; }
    double GetZ2() const { return z * z; }
    double GetLengthSquared() const { return w * w + x * x + y * y + z * z; }

    // In place; a zero quaternion is left as it is rather than turned into NaNs.
    Quat& Normalize();
    bool IsUnit() const;
    Quat& Conjugate();  // in place
    Quat& Invert();     // in place

    Quat operator+(const Quat& q) const;
    Quat operator-(const Quat& q) const;
    Quat operator*(const Quat& q) const;  // Hamilton product
    Quat operator*(double s) const;
    // Equal when every component differs by at most the machine epsilon.
    bool operator==(const Quat& q) const;
    bool operator!=(const Quat& q) const;

    // About X by a, then the fixed Y by b, then the fixed Z by c (Z(c) * Y(b) * X(a)).
    void SetFromAngles(double a, double b, double c);
    // X(a) * Y(b) * Z(c).
    void SFA2XYZ(double a, double b, double c);
    // X(a) * Z(c) * Y(b): each angle keeps its axis, only the order of the factors changes.
    void SFA2XZY(double a, double b, double c);

    // Rotation by angle about axis; the axis is taken as given, so only a unit axis gives a unit
    // quaternion.
    void SetFromVector3(double angle, const Vector3d& axis);
    // The inverse: angle in [0, 2 pi] and a unit axis. Without rotation the axis is (1, 0, 0).
    void GetToVector3(double& angle, Vector3d& axis) const;

    // The rotated unit axes, that is the columns of RotationMatrix().
    Vector3d GetXAxis() const;
    Vector3d GetYAxis() const;
    Vector3d GetZAxis() const;
    void GetXAxis(Vector3d& axis) const;
    void GetYAxis(Vector3d& axis) const;
    void GetZAxis(Vector3d& axis) const;

    // Decomposes the unit quaternion as Y(a) * Z(b) * X(c), b in [-pi/2, pi/2]; near b = +-pi/2
    // the whole turn about the vertical goes into a.
    void GetAngles(double& a, double& b, double& c) const;
    // Roll about Z, pitch about X, yaw about Y. With unit false: the inverse of
    // SetFromAngles(pitch, yaw, roll), for any length. With unit true: each angle read from the
    // rotation-matrix entries of a unit quaternion in the plane of its axis, exact for a turn
    // about that axis alone.
    double getRoll(bool unit) const;
    double getPitch(bool unit) const;
    double getYaw(bool unit) const;

    // From a rotation matrix (orthonormal, determinant 1); the result has w >= 0.
    void SetFromMatrix3(const Matrix3d& mat);

    // Rotates v: the vector part of q (0, v) q^-1.
    Vector3d operator*(const Vector3d& v) const;

    // Rotation matrix acting on column vectors. A non-unit quaternion is treated as its unit
    // version, matching operator*(Vector3d); the zero quaternion gives the identity.
    Matrix3d RotationMatrix() const;
    // The same rotation as a 4 by 4 homogeneous matrix (last row and column 0, 0, 0, 1).
    Matrix ToMatrix() const;

private:
    double w;
    double x;
    double y;
    double z;
};

#endif
