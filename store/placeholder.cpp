// replaced by the store library
