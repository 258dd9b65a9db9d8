#ifndef QCAN_LEGACY_VECTOR3D_H
#define QCAN_LEGACY_VECTOR3D_H

class Quat;
class Matrix3d;

// A 3-vector in double precision. Rotations follow the right-hand rule, angles in radians.
class Vector3d
{
public:
    Vector3d();
    Vector3d(double x, double y, double z, bool normalise = false);
    // All three components set to value; explicit so that a bare number never turns into a vector.
    explicit Vector3d(double value, bool normalise = false);
    Vector3d(const Vector3d& other) = default;
    virtual ~Vector3d() = default;
    Vector3d& operator=(const Vector3d& other) = default;

    double GetX() const { return x; }
    double GetY() const { return y; }
    double GetZ() const { return z; }
    double GetX2() const { return x * x; }
    double GetY2() const { return y * y; }
    double GetZ2() const { return z * z; }

    double Length() const;
    double Dot(const Vector3d& v) const;
    Vector3d Cross(const Vector3d& v) const;

    // Divides by the length unless it is 0; returns the length before.
    double normalise();
    // Unit vectors stay as they are, near-zero vectors become zero, others are divided by their
    // length.
    Vector3d& Normalize();
    void Zero();
    bool IsZero() const;

    // No single perpendicular is defined for a 3-vector; calling this is a programming error.
    Vector3d Perpendicular() const;

    // Angle of the projection on a plane, in [0, 2 pi), measured from the first named axis.
    double GetAngleXY() const;
    double GetAngleXZ() const;
    double GetAngleYZ() const;
    // In [0, pi]; 0 when either vector has no length.
    double GetAngleBetween(const Vector3d& v) const;

    Vector3d& RotateX(double angle);
    Vector3d& RotateY(double angle);
    Vector3d& RotateZ(double angle);
    Vector3d NewRotateX(double angle) const;
    Vector3d NewRotateY(double angle) const;
    Vector3d NewRotateZ(double angle) const;
    // Rotates about X by a, then about the fixed Y by b, then about the fixed Z by c: the same
    // rotation as Quat::SetFromAngles(a, b, c) and Matrix3d::SetRotation(a, b, c).
    Vector3d& Rotate(double a, double b, double c);
    Vector3d NewRotate(double a, double b, double c) const;
    // About an axis through the origin; the axis need not be of unit length.
    Vector3d& Rotate(double angle, const Vector3d& axis);
    Vector3d& Rotate(const Quat& q);
    // Replaces the vector by mat times the vector.
    Vector3d& Rotate(const Matrix3d& mat);

    Vector3d& InvertX();
    Vector3d& InvertY();
    Vector3d& InvertZ();

    // Octant 0 to 7: bit 2 for x >= 0, bit 1 for y >= 0, bit 0 for z >= 0.
    int GetQuadrant() const;

    Vector3d operator+(const Vector3d& v) const;
    Vector3d operator-(const Vector3d& v) const;
    Vector3d operator*(double s) const;
    Vector3d& operator+=(const Vector3d& v);
    Vector3d& operator-=(const Vector3d& v);
    Vector3d& operator*=(double s);
    // Equal when every component differs by at most the machine epsilon.
    bool operator==(const Vector3d& v) const;
    bool operator!=(const Vector3d& v) const;

private:
    double x;
    double y;
    double z;
};

Vector3d operator*(double s, const Vector3d& v);

#endif
