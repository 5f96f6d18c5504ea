# Tests of src/tsql.
