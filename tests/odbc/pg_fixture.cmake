# The PostgreSQL clusters of the test run, shared by the test folders that need one (include this file).
#   postgres          one cluster for every test that only reads and writes
#   postgres_restart  a second one that tests stop and start again (they take turns: RESOURCE_LOCK)
# Each is started once per ctest run by scripts/pg_fixture.sh and stopped at the end.
set(QORVENA_PG_SHARED_DIR ${CMAKE_BINARY_DIR}/pg/shared)
set(QORVENA_PG_RESTART_DIR ${CMAKE_BINARY_DIR}/pg/restart)
set(QORVENA_PG_TEST_PROPERTIES
  FIXTURES_REQUIRED postgres ENVIRONMENT QORVENA_PG_FIXTURE=${QORVENA_PG_SHARED_DIR})
set(QORVENA_PG_RESTART_TEST_PROPERTIES
  FIXTURES_REQUIRED postgres_restart RESOURCE_LOCK postgres_restart
  ENVIRONMENT QORVENA_PG_RESTART_FIXTURE=${QORVENA_PG_RESTART_DIR})
