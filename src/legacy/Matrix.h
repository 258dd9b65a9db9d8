#ifndef QCAN_LEGACY_MATRIX_H
#define QCAN_LEGACY_MATRIX_H

// Dense double-precision matrix, stored row by row, with 1-based indices: element (i, j) lives at
// GetData()[(i - 1) * NCols() + (j - 1)]. The sensors upload end matrices in this storage order.
class Matrix
{
public:
    Matrix();
    Matrix(int rows, int cols);
    Matrix(const Matrix& other);
    Matrix(Matrix&& other) noexcept;
    virtual ~Matrix();

    Matrix& operator=(const Matrix& other);
    Matrix& operator=(Matrix&& other) noexcept;

    int NRows() const { return m; }
    int NCols() const { return n; }

    // Both forms leave every element zero, whether or not the shape changes.
    void Resize(int rows, int cols);
    void Resize(const Matrix& shape);

    // Copies NRows() * NCols() values in storage order.
    void SetValues(const double* values);
    double* GetData() { return data; }
    const double* GetData() const { return data; }

    double& operator()(int i, int j);
    double operator()(int i, int j) const;

    Matrix Row(int i) const;     // 1 by n
    Matrix Column(int j) const;  // m by 1
    // Copy row ii (column jj) of mat into row i (column j); only the overlapping part is copied
    // when the lengths differ, the rest of the row (column) is kept.
    void SetRow(int i, const Matrix& mat, int ii = 1);
    void SetColumn(int j, const Matrix& mat, int jj = 1);
    // The block from (i1, j1) to (i2, j2), both corners included.
    Matrix SubMatrix(int i1, int j1, int i2, int j2) const;

    // Appending: | puts mat's columns to the right, & puts mat's rows below. An empty matrix
    // takes the other's shape, so a matrix can be built up from nothing.
    Matrix operator|(const Matrix& mat) const;
    Matrix& operator|=(const Matrix& mat);
    Matrix operator&(const Matrix& mat) const;
    Matrix& operator&=(const Matrix& mat);

    Matrix operator+(double s) const;
    Matrix operator-(double s) const;
    Matrix operator*(double s) const;
    Matrix operator/(double s) const;
    Matrix& operator+=(double s);
    Matrix& operator-=(double s);
    Matrix& operator*=(double s);
    Matrix& operator/=(double s);

    Matrix operator+(const Matrix& mat) const;  // element-wise
    Matrix operator-(const Matrix& mat) const;  // element-wise
    Matrix operator*(const Matrix& mat) const;  // matrix product
    Matrix& operator+=(const Matrix& mat);
    Matrix& operator-=(const Matrix& mat);
    Matrix& operator*=(const Matrix& mat);

    Matrix T() const;

    // Both return false and leave the matrix alone when it is not square.
    bool SetIdentity();
    bool IsSymmetric() const;
    bool IsSquare() const { return m == n; }

    // Infinity when the matrix is not square.
    double Trace() const;
    double Determinant() const;

    // Symmetric eigen-decomposition (only the lower triangle is read). On return the columns of
    // vectors are the unit eigenvectors and values is n by n with the eigenvalues, in ascending
    // order, on its diagonal, so that A * vectors == vectors * values. False when not square.
    bool Eigenvalues(Matrix& vectors, Matrix& values) const;

protected:
    double* data;
    int m;
    int n;

private:
    void allocate(int rows, int cols);
};

Matrix operator*(double s, const Matrix& mat);

#endif
