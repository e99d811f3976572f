# The UEFI route's files, from Debian's signed amd64 packages (engine/build-efi.sh): shim, GRUB, the amd64
# kernel and its modules. The host build makes them for korvanix-diag and the engine's UEFI tests; a Windows
# build that carries the engine carries them too (BootAssets.rc), for UEFI machines.
if(NOT WIN32 OR carries_engine)
    set(efi_script ${CMAKE_CURRENT_SOURCE_DIR}/engine/build-efi.sh)
    set(efi_outputs ${assets_dir}/shimx64.efi ${assets_dir}/grubx64.efi ${assets_dir}/kxlinux64 ${assets_dir}/kxmod64
        ${assets_dir}/efi-provenance.txt)
    add_custom_command(OUTPUT ${efi_outputs}
        COMMAND ${efi_script} ${assets_dir}
        DEPENDS ${efi_script} ${CMAKE_CURRENT_SOURCE_DIR}/engine/efi-packages.txt
            ${CMAKE_CURRENT_SOURCE_DIR}/engine/modules.txt ${CMAKE_CURRENT_SOURCE_DIR}/engine/packages.sh VERBATIM)
    add_custom_target(korvanix_efi ALL DEPENDS ${efi_outputs})
endif()
