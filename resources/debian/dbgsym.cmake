# CPack runs this on the staging tree before it makes the .deb: the -dbgsym package CPack would make itself
# lists its file by the staging tree's absolute path in md5sums and has no documents, which lintian refuses.
execute_process(
    COMMAND sh ${CPACK_TSUMOTTO_DEBIAN_DIR}/make-dbgsym.sh ${CPACK_TEMPORARY_DIRECTORY} ${CPACK_PACKAGE_NAME}
        ${CPACK_PACKAGE_VERSION} ${CPACK_PACKAGE_CONTACT} ${CPACK_PACKAGE_DIRECTORY}
    COMMAND_ERROR_IS_FATAL ANY)
