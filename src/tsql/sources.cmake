# Sources of src/tsql.
